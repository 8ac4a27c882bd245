#pragma once
// Counts the claims waiting in the guard's queue per claimed address, so
// that a flood claiming one address cannot take the room of a genuine claim
// for another. Addresses are counted exactly (no two share a count, whatever
// an attacker picks) for up to kAddresses of them; claims for further
// addresses share one count, which is no weaker than the queue's own bound.
#include <cstddef>
#include <cstdint>
#include <vector>

class HClaimShare {
 public:
  static constexpr size_t kAddresses = 1024;

  HClaimShare();
  // Counts one more claim for `address` (the four bytes as stored) and
  // returns true, or false when `limit` claims for it already wait.
  bool take(uint32_t address, uint32_t limit);
  // The waiting claims were taken: every count starts again.
  void clear();

 private:
  static constexpr size_t kSlots = kAddresses * 2;  // at most half full: short probes
  static constexpr unsigned kSlotShift = 21;         // 32 bits less the 11 of kSlots
  static_assert(kSlots == size_t{1} << (32 - kSlotShift), "slots are a power of two");
  struct Slot {
    uint32_t address;
    uint32_t count;  // 0: free
  };
  uint32_t* count_of(uint32_t address);

  std::vector<Slot> vt_slot;
  std::vector<uint32_t> vt_used;  // indexes of the slots in use
  uint32_t ui_others = 0;
};
