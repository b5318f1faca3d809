// publish against the board emulator and a mosquitto broker of the test's own on a free 127.0.0.1
// port (configuration, password file and certificates made here), read by a libmosquitto subscriber.
#include "cli_process.h"

#include <mosquitto.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/prctl.h>

#include <regex>
#include <set>

using namespace boardtest;
using namespace clitest;

namespace {

const int kLibrary = mosquitto_lib_init();
constexpr const char* kFixed = "--com 3 --tilt 128,64,3 --volts 0,1,2,3,-5,5,5";
const auto Seq = [](long k) { return "{\"seq\":" + std::to_string(k); };
const auto kTilt = R"(,T,"x":128,"y":64,"left":"UP","right":"UP"})";
const auto kDvm = R"(,T,"ch0":0.00,"ch1":1.00,"ch2":2.00,"ch3":3.00,"ch4":-5.00,"ch5":5.00,"ch6":5.00})";

// A socket on 127.0.0.1: connected to `port` (its number, or 0 when nothing listens there), or for
// port 0 bound where the kernel found a free port (its number; left free again).
int Loopback(int port) {
    sockaddr_in address{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t n = sizeof address;
    auto* at = reinterpret_cast<sockaddr*>(&address);
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const bool done = port ? connect(fd, at, n) == 0 : bind(fd, at, n) == 0 && getsockname(fd, at, &n) == 0;
    close(fd);
    return done ? ntohs(address.sin_port) : 0;
}

// mosquitto with persistence in a directory of its own, its working directory, after `make` ran
// there (a shell command); `more` follows the listener line.
struct Broker {
    explicit Broker(const std::string& more = "\nallow_anonymous true", const std::string& make = "true") {
        std::ofstream(dir + "/m.conf")
            << "log_dest none\npersistence true\nautosave_interval 1\npersistence_location " << dir
            << "/\nuser " << getpwuid(geteuid())->pw_name << "\nlistener " << port << " 127.0.0.1" << more
            << "\n";
        EXPECT_EQ(system(("cd " + dir + " && (" + make + ") >/dev/null 2>&1").c_str()), 0) << make;
        Start();
    }
    ~Broker() { Stop(), std::filesystem::remove_all(dir); }
    void Start() { // a broker that dies with the test process, however that ends
        if ((pid = fork()) == 0 && prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 && chdir(dir.c_str()) == 0 &&
            dup2(open("/dev/null", O_WRONLY), 2) == 2)
            execlp("mosquitto", "mosquitto", "-c", (dir + "/m.conf").c_str(), nullptr);
        EXPECT_TRUE(WaitUntil(5000, [this] { return Loopback(port) != 0; })) << "mosquitto did not start";
    }
    void Stop(int signal = SIGTERM) { kill(pid, signal), waitpid(pid, nullptr, 0); }
    std::string At() const { return "127.0.0.1:" + std::to_string(port); }

    std::string dir = mkdtemp(std::string("/tmp/korvane-broker-XXXXXX").data());
    int port = Loopback(0);
    pid_t pid = 0;
};

// A subscriber to `filter` at QoS 1; with an `id`, its session (its subscription and what is queued
// for it) outlives its connection. Messages as "topic text".
struct Subscriber {
    Subscriber(int port, const std::string& filter, const char* id = nullptr)
        : client(mosquitto_new(id, !id, this)), filter(filter) {
        mosquitto_subscribe_callback_set(
            client, [](auto, void* s, auto...) { static_cast<Subscriber*>(s)->on = true; });
        mosquitto_message_callback_set(client, [](mosquitto*, void* s, const mosquitto_message* m) {
            static_cast<Subscriber*>(s)->got.push_back(
                m->topic + (" " + std::string(static_cast<char*>(m->payload), m->payloadlen)));
        });
        mosquitto_connect(client, "127.0.0.1", port, 60);
        mosquitto_subscribe(client, nullptr, filter.c_str(), 1);
        EXPECT_TRUE(Got(0));
    }
    ~Subscriber() { mosquitto_destroy(client); }
    // Runs the client (reconnecting when the broker went away) until it subscribed and `count`
    // messages came, the last one holding `part`.
    bool Got(size_t count, const std::string& part = "") {
        return WaitUntil(5000, [&] {
            if (mosquitto_loop(client, 10, 1) != MOSQ_ERR_SUCCESS)
                mosquitto_reconnect(client), mosquitto_subscribe(client, nullptr, filter.c_str(), 1);
            return on && got.size() >= count && (got.empty() || got.back().find(part) != std::string::npos);
        });
    }

    mosquitto* client;
    std::string filter;
    bool on = false; // subscribed
    std::vector<std::string> got;
};

// korvane-cli's arguments: publish COM3 --broker and `line` split at spaces.
std::vector<std::string> Args(const std::string& line) {
    return Lines(std::regex_replace("publish 3 --broker " + line, std::regex(" +"), "\n"));
}

} // namespace

// Every reading arrives, in order with consecutive seq (a tick without a reply takes none) and the
// time in UTC, between the status "online" and a retained "offline", the status following a board
// that falls silent or goes away.
TEST(Publish, ReadingsArriveInOrderBetweenOnlineAndARetainedOfflineAndTheStatusFollowsTheBoard) {
    setenv("TZ", "XYZ-9", 1); // "time" must be UTC whatever the zone
    Broker broker;
    const char* rows[][3] = {
        // board, arguments, statuses (3 readings, or 2 when a reply came late on a busy machine)
        {"", "--qos=1 --count=3", "online,offline"},
        {"", "--mode=dvm --qos=0 --count=3", "online,offline"},
        {"", "--count=3 --fast --interval=100", "online,offline"}, // the broker served meanwhile
        {"--silent-after 5 --answer-after 550", "--count=14", "online,no reply,online,offline"},
        {"--drop-after 5 --return-after 300", "--count=17", "online,device gone,online,offline"},
        {"--silent-after 5 --answer-after 60000", "--count=10 --fast", "online,no reply,offline"}};
    for (auto& [boardArgs, args, states] : rows) {
        BoardProcess board(kFixed + std::string(" ") + boardArgs);
        ASSERT_TRUE(board.Ready());
        const std::string prefix = "korvane/" + std::to_string(&states - &rows[0][2]);
        const bool dvm = std::strstr(args, "dvm");
        Subscriber live(broker.port, prefix + "/#");
        CliRun run(Args(broker.At() + " --topic " + prefix + " " + args));
        ASSERT_TRUE(live.Got(1, "/status offline")) << run.err;
        // The statuses first, then the readings, their times as T.
        const auto readings = std::stable_partition(
            live.got.begin(), live.got.end(), [&](auto& m) { return m.starts_with(prefix + "/status"); });
        const long n = live.got.end() - readings;
        std::string seen, expected = std::regex_replace(states, std::regex("([^,]+),?"), "status $1\n");
        for (const std::string& m : live.got) seen += m.substr(prefix.size() + 1) + "\n";
        for (int k = 1; k <= n; ++k)
            expected += (dvm ? "dvm " : "tilt ") + Seq(k) + (dvm ? kDvm : kTilt) + '\n';
        const std::regex stamp(R"("time":"([-T:0-9]{19})\.\d{3}Z","t_ms":(0|\d+00|\d+\.\d{3}),)");
        EXPECT_EQ(std::regex_replace(seen, stamp, "T,") + std::to_string(run.status) + " " +
                      run.err.substr(run.err.rfind("published")),
                  expected + "0 published " + std::to_string(n) + ", dropped 0, unacknowledged 0\n");
        ASSERT_GE(n, 2);
        tm utc{}; // the time of the first reading, UTC
        strptime(readings->c_str() + readings->find("time") + 7, "%Y-%m-%dT%H:%M:%S", &utc);
        EXPECT_LT(std::abs(timegm(&utc) - time(nullptr)), 30) << *readings;
        EXPECT_TRUE(Subscriber(broker.port, prefix + "/status").Got(1, " offline")) << "retained";
    }
}

// Readings wait in the queue while the broker is down and leave it only when acknowledged: the
// broker hangs (readings sent meanwhile get no acknowledgement), dies and starts again 3 s later from
// what it saved; a subscriber with a persistent session gets every seq (perhaps one twice). The Last
// Will says "offline" when the process dies.
TEST(Publish, ABrokerThatDiesAndStartsAgainLosesNoReadingAndTheLastWillSaysOffline) {
    BoardProcess board(kFixed);
    ASSERT_TRUE(board.Ready());
    Broker broker;
    Subscriber keeper(broker.port, "korvane/restart/tilt", "korvane-test-keeper");
    CliProcess run(Args(broker.At() + " --topic korvane/restart"));
    ASSERT_TRUE(keeper.Got(12)) << "the session saved meanwhile";
    kill(broker.pid, SIGSTOP), Sleep(500);
    broker.Stop(SIGKILL), Sleep(3000);
    broker.Start();
    ASSERT_TRUE(keeper.Got(keeper.got.size() + 10)) << "readings after the restart";
    EXPECT_EQ((kill(run.pid, SIGINT), run.Finish()), 0);
    const int published = std::stoi(run.err.substr(run.err.rfind("published ") + 10));
    const std::string at = "korvane-cli: broker " + broker.At() + ": ";
    EXPECT_EQ(std::regex_replace(run.err, std::regex("(\\d): [^;\n]+;"), "$1: X;"),
              at + "X; readings wait in the queue, reconnecting\n" + at + "connected again\npublished " +
                  std::to_string(published) + ", dropped 0, unacknowledged 0\n");
    ASSERT_TRUE(keeper.Got(published, Seq(published) + ","));
    std::set<int> seqs;
    for (const std::string& m : keeper.got) seqs.insert(std::atoi(m.c_str() + m.find(':') + 1));
    EXPECT_EQ(std::tuple(int(seqs.size()), *seqs.begin(), *seqs.rbegin()),
              std::tuple(published, 1, published));
    // While one runs the status is retained "online"; the Last Will says "offline" when it dies.
    CliProcess will(Args(broker.At() + " --topic korvane/will"));
    ASSERT_TRUE(Subscriber(broker.port, "korvane/will/tilt").Got(1));
    Subscriber watcher(broker.port, "korvane/will/status");
    ASSERT_TRUE(watcher.Got(1, " online")) << "retained";
    EXPECT_TRUE((kill(will.pid, SIGKILL), watcher.Got(2, " offline"))) << "the Last Will";
}

// How a run ends: a refused login or TLS verification at once (no --count) with one line; with no
// broker at all, a queue of 3 keeps the newest 3 of 10 readings.
TEST(Publish, EndsWithTheLinesOfItsLoginCertificatesAndQueue) {
    Broker login("\nallow_anonymous false\npassword_file users",
                 "mosquitto_passwd -b -c users korvane secret && echo secret >good && echo wrong >bad && "
                 "chmod 600 good bad && echo secret >open && chmod 644 open");
    const char* pki = R"(r() { openssl req -newkey ed25519 -nodes -subj /CN=$1 -keyout $1.key -out $1.$2 $3; }
        sign() { openssl x509 -req -CA c.pem -CAkey c.key -CAcreateserial -in $1.csr -out $1.pem $2; }
        r c pem -x509 && r other pem -x509 && r s csr && r client csr &&
        echo subjectAltName=DNS:localhost >san && sign s "-extfile san" && sign client)";
    Broker tls(
        "\ncafile c.pem\ncertfile s.pem\nkeyfile s.key\nrequire_certificate true\nallow_anonymous true", pki);
    const std::string pw = login.At() + " --username=korvane --password-file=" + login.dir + "/",
                      ca = " --cafile=" + tls.dir + "/", host = "localhost:" + std::to_string(tls.port),
                      cert = " --cert=" + tls.dir + "/client.pem --key=" + tls.dir + "/client.key",
                      open = login.dir + "/open", failed = "1 korvane-cli: TLS with the broker failed: ",
                      summary = "published 3, dropped 0, unacknowledged 0\n";
    BoardProcess board(kFixed);
    ASSERT_TRUE(board.Ready());
    const std::pair<std::string, std::string> rows[] = {
        // the arguments after --broker; status and standard error
        {pw + "good --count=3", "0 " + summary},
        {pw + "open --count=3", "0 korvane-cli: warning: others can read the password file " + open +
                                    " (chmod 600 " + open + ")\n" + summary},
        {pw + "bad", "1 korvane-cli: the broker refused the login: not authorised (see --username"},
        {host + ca + "c.pem" + cert + " --count=3", "0 " + summary},
        {host + ca + "other.pem" + cert, failed + "certificate verify failed"},
        {tls.At() + ca + "c.pem" + cert, failed + "certificate verify failed"}, // not the name in it
        {host + ca + "c.pem", failed},
        {"127.0.0.1:1 --queue=3 --count=10", // nothing listens there
         "0 korvane-cli: broker 127.0.0.1:1: Connection refused; readings wait in the queue, reconnecting\n"
         "published 0, dropped 7, unacknowledged 3\n"},
    };
    for (const auto& [line, expected] : rows) {
        CliRun run(Args(line));
        // A reply late on a busy machine leaves a tick without a reading; a line without its newline
        // ends with the broker's reason, if it came: its start, and one line.
        const std::string err = std::to_string(run.status) + " " +
                                std::regex_replace(run.err, std::regex("published [23],"), "published 3,");
        EXPECT_EQ(err.substr(0, expected.size()) + std::to_string(Lines(err).size()),
                  expected + std::to_string(Lines(expected).size()));
    }
}
