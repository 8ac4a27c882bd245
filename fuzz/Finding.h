#pragma once
// A fault a fuzz target found: said on standard error, then an abort that
// libFuzzer reports with the input that caused it.
#include <cstdio>
#include <cstdlib>
#include <string>

[[noreturn]] inline void finding(const std::string& what) {
  std::fprintf(stderr, "FINDING: %s\n", what.c_str());
  std::abort();
}
