#include "arpguard/HClaimShare.h"

HClaimShare::HClaimShare() : vt_slot(kSlots, Slot{0, 0}) { vt_used.reserve(kAddresses); }

bool HClaimShare::take(uint32_t address, uint32_t limit) {
  uint32_t* count = count_of(address);
  if (*count >= limit) return false;
  ++*count;
  return true;
}

void HClaimShare::clear() {
  for (uint32_t index : vt_used) vt_slot[index].count = 0;
  vt_used.clear();
  ui_others = 0;
}

// Open addressing with linear probing; slots are freed only all at once.
// The slot is the top bits of a multiplicative hash: the low bits of the
// product depend only on the low bits of the address, which are its first
// bytes (the same for a whole subnet).
uint32_t* HClaimShare::count_of(uint32_t address) {
  size_t index = static_cast<uint32_t>(address * 2654435761u) >> kSlotShift;
  for (;;) {
    Slot& slot = vt_slot[index];
    if (slot.count == 0) break;
    if (slot.address == address) return &slot.count;
    index = (index + 1) % kSlots;
  }
  if (vt_used.size() >= kAddresses) return &ui_others;
  vt_slot[index].address = address;
  vt_used.push_back(static_cast<uint32_t>(index));
  return &vt_slot[index].count;
}
