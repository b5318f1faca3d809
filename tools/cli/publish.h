// korvane-cli publish: connect to the board as poll does and publish every reading to an MQTT
// broker, for many boards on many machines.
//
//   PREFIX/tilt or PREFIX/dvm  one JSON object per reading: the poll json row with "seq" (1, 2, ...
//                              in this run; a missed tick takes none) and "time" (when the reply was
//                              read, UTC, ISO 8601 with milliseconds) in front
//   PREFIX/status              retained: "online" while readings flow, "no reply" and "device gone"
//                              in the board's lost states (watch.h), "offline" at a clean end and,
//                              as the Last Will, when the process or the network dies
//
// A board that goes away is always followed, as poll --reconnect follows it, with the same lines.
// --fast and --interval pace the exchanges as they pace poll --fast (t_ms with three decimals).
//
// The broker may come and go: readings wait in the queue meanwhile (see publisher.h). Ctrl-C,
// SIGTERM or --count end it cleanly: "offline", up to 5 s for outstanding acknowledgements, one line
// "published N, dropped M, unacknowledged K" on standard error, exit status 0. Windows has no
// libmosquitto here: the command says so in one line, status 64.
#pragma once

#include "board_poll.h"

#include <cstdio>
#include <string>

namespace cli {

/// The broker and the MQTT side of a publish, as given on the command line.
struct PublishRequest {
    std::string broker;   ///< HOST or HOST:PORT ([ADDRESS]:PORT for IPv6)
    std::string topic;    ///< empty: korvane/<host name>/COM3
    std::string clientId; ///< empty: korvane-<host name>-COM3
    int qos = 1;
    std::string username;
    std::string passwordFile;
    std::string cafile; ///< turns TLS on
    std::string cert, key;
    long long queue = 100000;
};

/// The help's words on publish.
extern const char* const kPublishAbout;

/// Runs the publish: `poll` says which board, mode, pace and how many ticks (or fast exchanges). Messages go
/// to `err`. Returns 0; the connection's result when the board did not connect; EXIT_FAILED after a refused
/// login, a failed TLS verification or an unreadable password file; EXIT_USAGE for a broker or topic that
/// cannot be used, and on Windows.
int PublishBoard(const PollRequest& poll, const PublishRequest& publish, std::FILE* err);

} // namespace cli
