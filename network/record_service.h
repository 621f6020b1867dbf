#pragma once
// quinterra-network record DIR: the office's recorder as a service (a
// systemd unit, dist/quinterra-registro.service). The network's folder
// names the broker and holds the office's certificate; the record is where
// office_record.h says. A persistent session (QoS 1, a client id of its
// own) lets the broker keep what the shops say while the recorder is away;
// the record is written on a thread of its own, one transaction per batch,
// and a database that fails is tried again without losing what was queued.
// SIGINT and SIGTERM stop it after the queue is written. Logs to standard
// error.

#include <string>

namespace quinterra {

// Runs until stopped; the exit status (0 stopped, 1 could not start, 2 the
// folder is not a network's).
int RunRecordService(const std::string& folder);

}  // namespace quinterra
