#pragma once
// A TCP port on 127.0.0.1 where a connection is never established: the
// listener's backlog is 0 and already taken by one connection it never
// accepts, so the kernel drops every further SYN and the caller's connect
// neither succeeds nor fails until its own retries give up (minutes).

namespace quinterra::e2e {

class StalledListener {
 public:
  StalledListener();
  ~StalledListener();
  StalledListener(const StalledListener&) = delete;
  StalledListener& operator=(const StalledListener&) = delete;

  // 0 when the listener could not be set up.
  int Port() const { return port_; }

 private:
  int listener_ = -1;
  int filler_ = -1;
  int port_ = 0;
};

// A port on 127.0.0.1 with nobody listening: a connect is refused at once.
int RefusingPort();

}  // namespace quinterra::e2e
