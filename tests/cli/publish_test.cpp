// publish against the board emulator and a mosquitto broker of the test's own on a free 127.0.0.1
// port (configuration, password file and certificates made here), read by a libmosquitto subscriber.
#include "cli_process.h"

#include <mosquitto.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>

#include <regex>
#include <set>

using boardtest::BoardProcess;
using boardtest::WaitUntil;
using clitest::CliProcess;
using clitest::CliRun;

namespace {

const int kLibrary = mosquitto_lib_init();
constexpr const char* kFixed = "--com 3 --tilt 128,64,3 --volts 0,1,2,3,-5,5,5";
const std::string kSummary = "published 3, dropped 0, unacknowledged 0\n";
const std::string kTls = "korvane-cli: TLS with the broker failed: ";

// A socket on 127.0.0.1: connected to `port` (its number, or 0 when nothing listens there), or for
// port 0 bound where the kernel found a free port (its number; left free again).
int Loopback(int port) {
    sockaddr_in address{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (port)
        port = connect(fd, reinterpret_cast<sockaddr*>(&address), length) ? 0 : port;
    else if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0) {
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    close(fd);
    return port;
}

// mosquitto with persistence in a directory of its own, after `prepare` ran there (a shell command);
// `listener` follows the listener line, "DIR" in it replaced by the directory.
struct Broker {
    explicit Broker(std::string listener = "\nallow_anonymous true", const std::string& prepare = "true")
        : dir(mkdtemp(name)), port(Loopback(0)) {
        for (size_t at; (at = listener.find("DIR")) != std::string::npos;) listener.replace(at, 3, dir);
        std::ofstream(dir + "/m.conf")
            << "log_dest none\npersistence true\nautosave_interval 1\npersistence_location " << dir
            << "/\nuser " << getpwuid(geteuid())->pw_name << "\nlistener " << port << " 127.0.0.1" << listener
            << "\n";
        EXPECT_EQ(system(("cd " + dir + " && (" + prepare + ") >/dev/null 2>&1").c_str()), 0) << prepare;
        Start();
    }
    ~Broker() {
        Stop();
        std::filesystem::remove_all(dir);
    }
    void Start() {
        // The broker dies with the test process, however that ends.
        if ((pid = fork()) == 0 && prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 &&
            dup2(open("/dev/null", O_WRONLY), 2) == 2)
            execlp("mosquitto", "mosquitto", "-c", (dir + "/m.conf").c_str(), nullptr);
        EXPECT_TRUE(WaitUntil(5000, [this] { return Loopback(port) != 0; })) << "mosquitto did not start";
    }
    void Stop(int signal = SIGTERM) { kill(pid, signal), waitpid(pid, nullptr, 0); }

    char name[32] = "/tmp/korvane-broker-XXXXXX";
    std::string dir;
    int port;
    pid_t pid = 0;
};

// A subscriber to `filter` at QoS 1; with an `id`, its session (its subscription and what is queued
// for it) outlives its connection. Messages as "topic text", with " (retained)" when they were.
struct Subscriber {
    Subscriber(int port, const std::string& filter, const char* id = nullptr)
        : client(mosquitto_new(id, id == nullptr, this)), filter(filter) {
        mosquitto_connect_callback_set(client, [](mosquitto* c, void* self, int) {
            mosquitto_subscribe(c, nullptr, static_cast<Subscriber*>(self)->filter.c_str(), 1);
        });
        mosquitto_subscribe_callback_set(client, [](mosquitto*, void* self, int, int, const int*) {
            static_cast<Subscriber*>(self)->subscribed = true;
        });
        mosquitto_message_callback_set(client, [](mosquitto*, void* self, const mosquitto_message* m) {
            static_cast<Subscriber*>(self)->got.push_back(
                m->topic + (" " + std::string(static_cast<char*>(m->payload), m->payloadlen)) +
                (m->retain ? " (retained)" : ""));
        });
        mosquitto_connect(client, "127.0.0.1", port, 60);
        EXPECT_TRUE(Until([this] { return subscribed; }));
    }
    ~Subscriber() { mosquitto_destroy(client); }
    // Runs the client (reconnecting when the broker went away) until `done` holds.
    bool Until(const std::function<bool()>& done, int limitMs = 5000) {
        return WaitUntil(limitMs, [&] {
            if (mosquitto_loop(client, 10, 1) != MOSQ_ERR_SUCCESS) mosquitto_reconnect(client);
            return done();
        });
    }
    bool Got(size_t count) {
        return Until([&] { return got.size() >= count; });
    }

    mosquitto* client;
    std::string filter;
    bool subscribed = false;
    std::vector<std::string> got;
};

std::vector<std::string> Args(int port, std::vector<std::string> more,
                              const std::string& host = "127.0.0.1") {
    more.insert(more.begin(), {"publish", "3", "--broker", host + ":" + std::to_string(port)});
    return more;
}

} // namespace

TEST(Publish, ReadingsArriveInOrderBetweenOnlineAndARetainedOfflineOrTheLastWill) {
    setenv("TZ", "XYZ-9", 1); // "time" must be UTC whatever the zone
    BoardProcess board(kFixed);
    ASSERT_TRUE(board.Ready());
    Broker broker;
    const std::string tilt = "\"x\":128,\"y\":64,\"left\":\"UP\",\"right\":\"UP\"}";
    const struct {
        const char *mode, *qos, *pace, *time; // time: the pattern of t_ms
        std::string fields;
    } rows[] = {
        {"tilt", "1", "", "(0|\\d+00)", tilt},
        {"dvm", "0", "", "(0|\\d+00)",
         "\"ch0\":0.00,\"ch1\":1.00,\"ch2\":2.00,\"ch3\":3.00,\"ch4\":-5.00,\"ch5\":5.00,\"ch6\":5.00}"},
        {"tilt", "1", "--interval=100", "\\d+\\.\\d{3}", tilt}, // --fast, paced: the broker answers meanwhile
    };
    for (const auto& row : rows) {
        const std::string prefix = std::string("korvane/test/") + row.mode + row.qos + row.pace;
        Subscriber live(broker.port, prefix + "/#");
        std::vector<std::string> args =
            Args(broker.port, {"--topic", prefix, "--mode", row.mode, "--qos", row.qos, "--count=3"});
        if (*row.pace) args.insert(args.end(), {"--fast", row.pace});
        CliRun run(args);
        EXPECT_EQ(run.status, 0);
        ASSERT_TRUE(
            live.Until([&] { return !live.got.empty() && live.got.back() == prefix + "/status offline"; }));
        // 3 readings, or 2 when a reply came late on a busy machine: the seq stay consecutive.
        ASSERT_GE(live.got.size(), 4u);
        EXPECT_EQ(live.got[0], prefix + "/status online");
        EXPECT_EQ(run.err,
                  "published " + std::to_string(live.got.size() - 2) + ", dropped 0, unacknowledged 0\n");
        const std::regex reading(
            "^" + prefix + "/" + row.mode +
            " \\{\"seq\":(\\d),\"time\":\"([-T:0-9]{19})\\.\\d{3}Z\",\"t_ms\":" + row.time + ",(.*)$");
        for (size_t k = 1; k + 1 < live.got.size(); ++k) {
            std::smatch match;
            ASSERT_TRUE(std::regex_match(live.got[k], match, reading)) << live.got[k];
            EXPECT_EQ(std::stoul(match[1]), k);
            tm utc{};
            strptime(match[2].str().c_str(), "%Y-%m-%dT%H:%M:%S", &utc);
            EXPECT_LT(std::abs(timegm(&utc) - time(nullptr)), 30) << match[2];
            EXPECT_EQ(match[match.size() - 1], row.fields);
        }
        Subscriber later(broker.port, prefix + "/status");
        ASSERT_TRUE(later.Got(1));
        EXPECT_EQ(later.got[0], prefix + "/status offline (retained)");
    }
    // While it runs the status is retained "online"; the Last Will says "offline" when it dies.
    CliProcess run(Args(broker.port, {"--topic", "korvane/will"}));
    Subscriber first(broker.port, "korvane/will/tilt");
    ASSERT_TRUE(first.Got(1));
    Subscriber watcher(broker.port, "korvane/will/status");
    ASSERT_TRUE(watcher.Got(1));
    kill(run.pid, SIGKILL);
    ASSERT_TRUE(watcher.Got(2));
    EXPECT_EQ(watcher.got[0] + ", " + watcher.got[1],
              "korvane/will/status online (retained), korvane/will/status offline");
}

// The status follows a board that falls silent or goes away (and comes back under the same COM link).
TEST(Publish, TheStatusFollowsTheBoardLostAndFound) {
    Broker broker;
    const struct {
        const char *board, *pace, *count, *states;
    } rows[] = {{"--silent-after 5 --answer-after 550", "", "14", "online, no reply, online, offline"},
                {"--drop-after 5 --return-after 300", "", "17", "online, device gone, online, offline"},
                {"--silent-after 5 --answer-after 60000", "--fast", "10", "online, no reply, offline"}};
    for (const auto& row : rows) {
        BoardProcess board(kFixed + std::string(" ") + row.board);
        ASSERT_TRUE(board.Ready());
        const std::string topic = std::string("korvane/") + row.count;
        Subscriber watcher(broker.port, topic + "/status");
        std::vector<std::string> args = Args(broker.port, {"--topic", topic, "--count", row.count});
        if (*row.pace) args.push_back(row.pace);
        EXPECT_EQ(CliRun(args).status, 0);
        std::string states;
        ASSERT_TRUE(
            watcher.Until([&] { return watcher.got.size() > 1 && watcher.got.back().ends_with("offline"); }));
        for (const std::string& message : watcher.got)
            states += (states.empty() ? "" : ", ") + message.substr(topic.size() + 8);
        EXPECT_EQ(states, row.states);
    }
}

// Readings wait in the queue while the broker is down and leave it only when acknowledged: the
// broker hangs (readings sent meanwhile get no acknowledgement), dies and starts again 3 s later from
// what it saved; a subscriber with a persistent session gets every seq (perhaps one twice).
TEST(Publish, ABrokerThatDiesAndStartsAgainLosesNoReading) {
    BoardProcess board(kFixed);
    ASSERT_TRUE(board.Ready());
    Broker broker;
    Subscriber keeper(broker.port, "korvane/restart/tilt", "korvane-test-keeper");
    CliProcess run(Args(broker.port, {"--topic", "korvane/restart"}));
    ASSERT_TRUE(keeper.Got(12)) << "the session saved meanwhile";
    kill(broker.pid, SIGSTOP);
    Sleep(500);
    broker.Stop(SIGKILL);
    Sleep(3000);
    broker.Start();
    ASSERT_TRUE(keeper.Got(keeper.got.size() + 10)) << "readings after the restart";
    kill(run.pid, SIGINT);
    EXPECT_EQ(run.Finish(), 0);
    const std::string at = "korvane-cli: broker 127.0.0.1:" + std::to_string(broker.port) + ": ";
    std::smatch match;
    ASSERT_TRUE(
        std::regex_match(run.err, match,
                         std::regex(at + "[^;\n]+; readings wait in the queue, reconnecting\n" + at +
                                    "connected again\npublished (\\d+), dropped 0, unacknowledged 0\n")))
        << run.err;
    const size_t published = std::stoul(match[1]);
    std::set<int> seqs;
    ASSERT_TRUE(keeper.Until([&] {
        for (; !keeper.got.empty(); keeper.got.pop_back())
            seqs.insert(std::atoi(keeper.got.back().c_str() + keeper.got.back().find(':') + 1));
        return seqs.size() >= published;
    }));
    EXPECT_EQ(seqs.size(), published);
    EXPECT_EQ(*seqs.begin(), 1);
    EXPECT_EQ(*seqs.rbegin(), static_cast<int>(published));
}

// How a run ends: a refused login or TLS verification at once (no --count) with one line; with no
// broker at all, a queue of 3 keeps the newest 3 of 10 readings.
TEST(Publish, EndsWithTheLinesOfItsLoginCertificatesAndQueue) {
    BoardProcess board(kFixed);
    ASSERT_TRUE(board.Ready());
    Broker login("\nallow_anonymous false\npassword_file DIR/users",
                 "mosquitto_passwd -b -c users korvane secret && echo secret >good && echo wrong >bad && "
                 "chmod 600 good bad && echo secret >open && chmod 644 open");
    Broker tls("\ncafile DIR/ca.pem\ncertfile DIR/server.pem\nkeyfile DIR/server.key\nrequire_certificate "
               "true\nallow_anonymous true",
               R"(req() { n=$1; shift; openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes \
                          -subj /CN=$n -keyout $n.key "$@"; }
                  sign() { openssl x509 -req -CA ca.pem -CAkey ca.key -CAcreateserial -in $1.csr -out $1.pem $2; }
                  req ca -x509 -out ca.pem && req other -x509 -out other.pem && req server -out server.csr &&
                  req client -out client.csr && echo subjectAltName=DNS:localhost >san &&
                  sign server "-extfile san" && sign client)");
    const int nobody = Loopback(0);
    const std::string user = "--username=korvane", file = "--password-file=" + login.dir + "/",
                      open = login.dir + "/open", ca = "--cafile=" + tls.dir + "/",
                      cert = "--cert=" + tls.dir + "/client.pem", key = "--key=" + tls.dir + "/client.key",
                      down = "127.0.0.1:" + std::to_string(nobody);
    const std::string at[] = {"127.0.0.1:" + std::to_string(login.port),
                              "localhost:" + std::to_string(tls.port),
                              "127.0.0.1:" + std::to_string(tls.port)};
    const struct {
        std::vector<std::string> args; // after --broker
        int status;
        std::string err;
    } rows[] = {
        {{at[0], user, file + "good", "--count=3"}, 0, kSummary},
        {{at[0], user, file + "open", "--count=3"},
         0,
         "korvane-cli: warning: others can read the password file " + open + " (chmod 600 " + open + ")\n" +
             kSummary},
        {{at[0], user, file + "bad"},
         1,
         "korvane-cli: the broker refused the login: not authorised (see --username"},
        {{at[1], ca + "ca.pem", cert, key, "--count=3"}, 0, kSummary},
        {{at[1], ca + "other.pem", cert, key}, 1, kTls + "certificate verify failed"},
        {{at[2], ca + "ca.pem", cert, key}, 1, kTls + "certificate verify failed"}, // not the name in it
        {{at[1], ca + "ca.pem"}, 1, kTls},
        {{down, "--queue=3", "--count=10"},
         0,
         "korvane-cli: broker " + down +
             ": Connection refused; readings wait in the queue, reconnecting\n"
             "published 0, dropped 7, unacknowledged 3\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args[0] + " " + row.args[1]);
        std::vector<std::string> args{"publish", "3", "--broker"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        CliRun run(args);
        EXPECT_EQ(run.status, row.status);
        if (row.err.back() == '\n') // a reply late on a busy machine leaves a tick without a reading
            EXPECT_EQ(std::regex_replace(run.err, std::regex("published [23],"), "published 3,"), row.err);
        else // the line ends with the broker's reason, if it came: its start, and one line
            EXPECT_EQ(run.err.substr(0, row.err.size()) +
                          std::to_string(std::count(run.err.begin(), run.err.end(), '\n')),
                      row.err + "1");
    }
}
