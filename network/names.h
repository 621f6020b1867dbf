#pragma once
// Names of a network and of its shops, and the topics built from them. A
// name becomes a topic level, a certificate's common name (the broker's user
// name) and a folder name, so only a safe set of characters is allowed.

#include <string>

namespace quinterra {

// The identity of the office's certificate; no shop may take it, since the
// broker tells clients apart by that name alone.
extern const char kOfficeIdentity[];

// Empty when name may name a network or a shop (1 to 64 of A-Z a-z 0-9 _ -,
// starting with a letter or digit), else why not, in Spanish.
std::string NameProblem(const std::string& name);
// As NameProblem, and not the office's identity.
std::string ShopIdProblem(const std::string& id);

// Empty when text may name the broker's host as the shops reach it, or the
// address it listens on: an IPv4 or IPv6 address, or a host name (letters
// without accent, digits, '-' and dots, 1 to 253 characters); else why not,
// in Spanish. It goes into a certificate, red.ini and mosquitto.conf, so
// nothing else (no blank, no control character) passes.
std::string HostProblem(const std::string& text);

std::string DocumentTopic(const std::string& network);
// The office's signing key changes (retained): the office writes, shops read.
std::string KeysTopic(const std::string& network);
std::string StateTopic(const std::string& network, const std::string& shop);
std::string OnlineTopic(const std::string& network, const std::string& shop);
// The office's own topic, to know when the broker has sent every retained
// message of a subscription.
std::string OfficeSyncTopic(const std::string& network);
// The same for a shop's agent: its marker comes back after the retained
// document and its own last state.
std::string ShopSyncTopic(const std::string& network, const std::string& shop);

// The shop of a state or online topic of this network, or empty.
std::string ShopOfTopic(const std::string& network, const std::string& topic);

}  // namespace quinterra
