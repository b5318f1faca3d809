// korvane-cli publish: the tick loop of poll with the broker served between the ticks.
#include "publish.h"

#include "BoardLink.h"
#include "BoardRows.h"
#include "connect.h"
#include "fast_poll.h"
#include "poll_clock.h"
#include "publisher.h"
#include "tick_schedule.h"
#include "watch.h"

#include <windows.h>

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {
namespace {

constexpr int kFinishLimitMs = 5000;

int Usage(std::FILE* err, std::string what) {
    // One line whatever the words held, as the other usage errors.
    for (char& c : what)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    std::fprintf(err, "korvane-cli: %s (see korvane-cli publish --help)\n", what.c_str());
    return EXIT_USAGE;
}

// HOST, HOST:PORT or [ADDRESS]:PORT into the settings. False when it names no host or port.
bool SplitBroker(const std::string& broker, PublisherSettings* settings) {
    const bool bracket = !broker.empty() && broker[0] == '[';
    const size_t close = bracket ? broker.find(']') : 0;
    const size_t colon = bracket ? (close == std::string::npos ? close : close + 1) : broker.rfind(':');
    settings->host = bracket ? broker.substr(1, close - 1) : broker.substr(0, colon);
    settings->port = settings->cafile.empty() ? 1883 : 8883;
    if (colon != std::string::npos && colon < broker.size()) {
        const std::string port = broker.substr(colon + 1);
        if (broker[colon] != ':' || port.empty() || port.size() > 5 ||
            port.find_first_not_of("0123456789") != std::string::npos)
            return false;
        settings->port = std::stoi(port);
    }
    return !settings->host.empty() && settings->port >= 1 && settings->port <= 65535;
}

// The first line of the password file. A file that others may read is used, with a warning.
int ReadPassword(const std::string& path, std::FILE* err, std::string* password) {
    std::ifstream file(path);
    struct stat info {};
    if (!file || stat(path.c_str(), &info) != 0) {
        std::fprintf(err, "korvane-cli: cannot read the password file %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return EXIT_FAILED;
    }
    if (info.st_mode & (S_IRGRP | S_IROTH))
        std::fprintf(err, "korvane-cli: warning: others can read the password file %s (chmod 600 %s)\n",
                     path.c_str(), path.c_str());
    std::getline(file, *password);
    if (!password->empty() && password->back() == '\r') password->pop_back();
    return EXIT_OK;
}

// The settings with their defaults: korvane/<host name>/COM3, korvane-<host name>-COM3.
int Settle(const PollRequest& poll, const PublishRequest& request, std::FILE* err, PublisherSettings* s) {
    char host[256] = "localhost";
    gethostname(host, sizeof host - 1);
    const std::string com = "COM" + std::to_string(poll.com);
    const std::string prefix =
        request.topic.empty() ? "korvane/" + std::string(host) + "/" + com : request.topic;
    s->clientId = request.clientId.empty() ? "korvane-" + std::string(host) + "-" + com : request.clientId;
    s->readingTopic = prefix + (poll.mode == PollMode::Tilt ? "/tilt" : "/dvm");
    s->statusTopic = prefix + "/status";
    s->qos = request.qos;
    s->username = request.username;
    s->cafile = request.cafile;
    s->cert = request.cert;
    s->key = request.key;
    s->queue = static_cast<size_t>(request.queue);
    if (!SplitBroker(request.broker, s))
        return Usage(err, "--broker: wants HOST or HOST:PORT, not \"" + request.broker + "\"");
    if (mosquitto_pub_topic_check(s->statusTopic.c_str()) != MOSQ_ERR_SUCCESS)
        return Usage(err, "--topic: no + or # in a topic to publish to, not \"" + prefix + "\"");
    return request.passwordFile.empty() ? EXIT_OK : ReadPassword(request.passwordFile, err, &s->password);
}

// The message of a reading: "seq" and "time" (now, UTC, milliseconds) before the json row's fields.
std::string Message(uint64_t seq, const std::string& row) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm utc{};
    gmtime_r(&now.tv_sec, &utc);
    char head[96];
    std::snprintf(head, sizeof head, "{\"seq\":%llu,\"time\":\"%04d-%02d-%02dT%02d:%02d:%02d.%03ldZ\",",
                  static_cast<unsigned long long>(seq), utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                  utc.tm_hour, utc.tm_min, utc.tm_sec, now.tv_nsec / 1000000);
    return head + row.substr(1, row.size() - 2); // the row without its '{' and its newline
}

// The status that tells subscribers the board's state: the state's own name while it is lost.
const char* StatusWord(BoardState state) {
    return state == BoardState::Answering ? "online" : BoardStateName(state);
}

// One exchange, the board followed as poll --reconnect follows it: a valid reply's message (its
// row's t_ms `time`) and a new state's status to the publisher. False when no exchange ran (the port
// is being reopened).
bool PublishTick(const PollRequest& request, BoardWatch& watch, const std::string& time, uint64_t* seq,
                 Publisher& publisher) {
    const TickOutcome tick = watch.Tick(request.mode, GetTickCount(), request.fast);
    if (request.fast && tick.attempted) RequestLowLatency(); // a reopened port starts without it
    if (tick.changed()) publisher.SetStatus(StatusWord(tick.state));
    if (tick.validReply)
        publisher.Add(Message(++*seq, request.mode == PollMode::Tilt
                                          ? TiltRow(RowFormat::Json, time, tick.tilt)
                                          : VoltageRow(RowFormat::Json, time, g_fVoltage)));
    return tick.exchanged;
}

// When the exchanges run, on the steady clock: one per 100 ms tick, or with --fast one every
// --interval (missed turns skipped, as the ticks) or back to back. The broker is served meanwhile.
struct Schedule {
    explicit Schedule(const PollRequest& request)
        : fast(request.fast), periodMs(request.fast ? request.intervalMs : kTickMs) {}

    /// The exchange's t_ms as its row shows it: whole ticks, or with --fast the milliseconds since
    /// the first exchange, with three decimals.
    std::string Time() const {
        if (!fast) return std::to_string(counted * kTickMs);
        return FastTime(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    /// Serves `publisher` until the next exchange is due (back to back: one look at its socket, or
    /// up to a tick when the last ran none, so that a port being reopened is not polled in a spin) or
    /// a stop was requested. Returns 0, or the publisher's exit status when it gave up.
    int Wait(Publisher& publisher, bool exchanged) {
        for (;;) {
            TickStep step{0, exchanged ? 0 : kTickMs};
            if (periodMs > 0) {
                using namespace std::chrono;
                step = NextTick(duration_cast<milliseconds>(steady_clock::now() - start).count(), counted,
                                periodMs);
                counted += step.periods;
                if (step.periods > 0) return 0;
            }
            pollfd fd = publisher.PollFd();
            poll(&fd, 1, static_cast<int>(std::min<int64_t>(step.waitMs, publisher.TimeoutMs())));
            if (StopRequests::Requested()) return 0;
            if (const int status = publisher.Service(fd.revents)) return status;
            if (periodMs == 0) return 0;
        }
    }

    const bool fast;
    const int periodMs; // 0: back to back
    const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    uint64_t counted = 0; // periods since the start
};

int RunPublisher(const PollRequest& request, const PublisherSettings& settings, std::FILE* err) {
    Publisher publisher(settings, err);
    publisher.SetStatus("online");
    if (request.fast) RequestLowLatency(); // a driver without the flag keeps its own pace
    BoardWatch watch(request.com, true, err);
    uint64_t seq = 0;
    int status = publisher.Service(0);
    Schedule schedule(request);
    for (long long n = 0; status == 0 && !StopRequests::Requested(); ++n) {
        const bool exchanged = PublishTick(request, watch, schedule.Time(), &seq, publisher);
        if (request.count > 0 && n + 1 >= request.count) break;
        status = schedule.Wait(publisher, exchanged);
    }
    return status != 0 ? status : publisher.Finish(kFinishLimitMs);
}

} // namespace

const char* const kPublishAbout = "publish every reading to an MQTT broker";

int PublishBoard(const PollRequest& poll, const PublishRequest& publish, std::FILE* err) {
    PublisherSettings settings;
    if (const int status = Settle(poll, publish, err, &settings)) return status;
    StopRequests stopRequests;
    int result = ConnectOrExplain(poll.com, err);
    if (result == CONNECT_OK) result = RunPublisher(poll, settings, err);
    DisconnectBoard();
    return result;
}

} // namespace cli
