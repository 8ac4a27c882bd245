#include "platform/NeighbourEvents.h"

#include <cerrno>

// No source of neighbour events is wired on Windows: the guard sees the
// cache through its frames only.
namespace platform {

NeighbourEvents::~NeighbourEvents() = default;

int NeighbourEvents::open(int /*timeout_ms*/) { return ENOSYS; }

NeighbourEvents::Wait NeighbourEvents::wait(std::vector<MIB_IPNETROW>& /*rows*/) { return Wait::kError; }

NeighbourEvents::Wait NeighbourEvents::wait(std::vector<Ipv6Router>& /*rows*/) { return Wait::kError; }

}  // namespace platform
