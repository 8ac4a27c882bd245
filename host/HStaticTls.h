#pragma once
// Thread-local values of the host library in the static TLS block: the
// library is loaded with the agent, never opened later, so a line logged per
// frame is spared the lookups (__tls_get_addr) of the general dynamic model.
#if defined(__GNUC__) && defined(__ELF__)
#define HSTATIC_TLS __attribute__((tls_model("initial-exec"))) thread_local
#else
#define HSTATIC_TLS thread_local
#endif
