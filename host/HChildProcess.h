#pragma once
// One run of a program that the agent starts for an event: no shell, no
// arguments, its standard input a text given at the start, its output and
// errors discarded (the agent's standard output carries the alarm lines).
// The caller polls it and may kill it; a child is always reaped, by poll()
// once it has ended or by kill_and_reap().
#include <string>

class HChildProcess {
 public:
  // Largest input: it is put into the pipe before the child starts, so
  // that nobody ever waits for the child to read it.
  static constexpr size_t kMaxInput = 60 * 1024;

  HChildProcess() = default;
  HChildProcess(const HChildProcess&) = delete;
  HChildProcess& operator=(const HChildProcess&) = delete;
  // A child still running is killed and reaped.
  ~HChildProcess();

  // 0 when it runs; -1 with `error` saying why it did not start.
  int start(const std::string& program, const std::string& input, std::string& error);
  // True once the child has ended (and has been reaped); `outcome` is then
  // "" for exit status 0, else "exit status N" or "killed by signal N".
  bool poll(std::string& outcome);
  // Kills it (SIGKILL) and waits for it.
  void kill_and_reap();
  long pid() const { return l_pid; }

 private:
  long l_pid = 0;  // 0: none running
};
