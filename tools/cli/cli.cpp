#include "cli.h"

#include "args.h"
#include "connect.h"
#include "links.h"
#include "board_poll.h"
#include "poll_clock.h"
#include "ports.h"
#include "publish.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <map>
#include <sstream>
#include <vector>

namespace cli {
namespace {

constexpr const char* kExitStatus =
    "Exit status: 0 done; 1 \"Could not open port.\" (or map, unmap or the output failed, or the\n"
    "broker refused publish's login or TLS);\n"
    "2 \"Could not set baud rate.\"; 3 \"No open port.\"; 64 a usage error.";

// What the command line asked for.
struct Request {
    PollRequest poll;
    PublishRequest publish;
    std::string target;
};

// COM as 3 or COM3 (any case), turned into the number.
CLI::Validator ComName() {
    return CLI::Validator(
        [](std::string& text) {
            const int com = ParseComNumber(text);
            if (com == 0) return "wants 1 to 16, written 3 or COM3, not \"" + text + "\"";
            text = std::to_string(com);
            return std::string();
        },
        "", "COM");
}

// One of `names` (any case), turned into the number of its value for CLI11 to store.
template <typename T> CLI::Validator Choice(const char* option, const std::map<std::string, T>& names) {
    return CLI::Validator(
        [&names](std::string& text) {
            auto found = names.find(CLI::detail::to_lower(text));
            if (found == names.end()) {
                std::string all;
                for (const auto& [name, value] : names) all += (all.empty() ? "" : ", ") + name;
                return "wants one of " + all + ", not \"" + text + "\"";
            }
            text = std::to_string(static_cast<int>(found->second));
            return std::string();
        },
        "", option);
}

CLI::App* AddCommand(CLI::App& app, const char* name, const char* about, Request* request, bool withCom) {
    CLI::App* command = app.add_subcommand(name, about);
    command->set_version_flag("--version", app.version());
    if (withCom)
        command->add_option("COM", request->poll.com, "the COM port: 3 or COM3")
            ->required()
            ->type_name("")
            ->transform(ComName());
    return command;
}

// --mode, --count, --fast and --interval: what poll and publish share.
void AddTickOptions(CLI::App* command, PollRequest* request) {
    static const std::map<std::string, PollMode> kModes{{"tilt", PollMode::Tilt}, {"dvm", PollMode::Dvm}};
    command->add_option("--mode", request->mode, "tilt (X, Y, buttons; the default) or dvm (seven voltages)")
        ->type_name("tilt|dvm")
        ->transform(Choice("--mode", kModes));
    command
        ->add_option("--count", request->count,
                     std::string("ticks (with --fast: exchanges) to run; without it, until ") +
                         kStopRequestWords)
        ->type_name("N")
        ->check(CLI::Range(1LL, 1000000000LL).description(""));
    CLI::Option* fast =
        command->add_flag("--fast", request->fast,
                          "read each reply as soon as it is whole (the 30/50 ms wait is then its "
                          "time-out), exchanges back to back; t_ms with three decimals");
    command->add_option("--interval", request->intervalMs, "with --fast: one exchange every MS milliseconds")
        ->type_name("MS")
        ->check(CLI::Range(1, 3600000).description(""))
        ->needs(fast);
}

void AddPollOptions(CLI::App* poll, Request* request) {
    static const std::map<std::string, RowFormat> kFormats{
        {"text", RowFormat::Text}, {"csv", RowFormat::Csv}, {"json", RowFormat::Json}};
    AddTickOptions(poll, &request->poll);
    poll->add_option("--format", request->poll.format,
                     "text (the default), csv (with a header line) or json (an object a line)")
        ->type_name("text|csv|json")
        ->transform(Choice("--format", kFormats));
    poll->add_flag("--reconnect", request->poll.reconnect,
                   "reopen a port that failed (pulled adapter), once a second, and go on");
    poll->footer(
        std::string(
            "One exchange per 100 ms tick. t_ms: milliseconds since the first tick. A tick without a\n"
            "valid reply writes no row (in dvm mode \"Error reading voltages.\" on standard error, once\n"
            "per run of such ticks). Rows are flushed one by one. ") +
        kStopRequestWords +
        "\nends the poll at the next tick with the port closed: exit status 0.\n"
        "On standard error: \"COM3: no reply\" after 3 ticks without a valid reply (the poll goes on and\n"
        "rows resume when the board answers), \"COM3: device gone\" when the port fails (without\n"
        "--reconnect the poll then ends with status 1; with it the port is reopened once a second, 5 s\n"
        "after an attempt where it opened but no board answered), and \"COM3: back at 38400 baud\" (or\n"
        "128000) when rows resume after either, on the same t_ms clock. With --fast a line\n"
        "\"N replies, M missed in S.SSS s (R per second)\" ends the poll.");
}

void AddPublishOptions(CLI::App* publish, Request* request) {
    PublishRequest& p = request->publish;
    publish->add_option("--broker", p.broker, "the broker (port 8883 with --cafile, else 1883)")
        ->required()
        ->type_name("HOST[:PORT]");
    publish->add_option("--topic", p.topic, "the topics' prefix (default korvane/<host name>/COM3)")
        ->type_name("PREFIX");
    AddTickOptions(publish, &request->poll);
    publish->add_option("--qos", p.qos, "0 or 1 (the default: a reading stays queued until acknowledged)")
        ->type_name("0|1")
        ->check(CLI::Range(0, 1).description(""));
    publish->add_option("--client-id", p.clientId, "default korvane-<host name>-COM3")->type_name("ID");
    publish->add_option("--username", p.username, "log in as U")->type_name("U");
    publish->add_option("--password-file", p.passwordFile, "the password: the file's first line")
        ->type_name("F")
        ->check(CLI::ExistingFile.description(""))
        ->needs("--username");
    publish->add_option("--cafile", p.cafile, "TLS, the broker's certificate checked against this CA")
        ->type_name("F")
        ->check(CLI::ExistingFile.description(""));
    CLI::Option* cert = publish->add_option("--cert", p.cert, "a client certificate for TLS")
                            ->type_name("F")
                            ->check(CLI::ExistingFile.description(""))
                            ->needs("--cafile");
    publish->add_option("--key", p.key, "its private key")
        ->type_name("F")
        ->check(CLI::ExistingFile.description(""))
        ->needs(cert);
    cert->needs("--key");
    publish
        ->add_option("--queue", p.queue, "readings kept while the broker cannot be reached (default 100000)")
        ->type_name("N")
        ->check(CLI::Range(1LL, 10000000LL).description(""));
    publish->footer(
        std::string(
            "Publishes to PREFIX/tilt or PREFIX/dvm one JSON object per reading (the poll json row\n"
            "with \"seq\" and \"time\", UTC), and retained to PREFIX/status \"online\", \"no reply\" or\n"
            "\"device gone\" (the board is followed back as by poll --reconnect), then \"offline\"\n"
            "at the end or, as Last Will, when the process or the network dies. While the broker\n"
            "cannot be reached readings wait in the queue (the oldest dropped when it is full) and\n"
            "the connection is tried again after 0.5 s up to 5 s. A refused login or a failed TLS\n"
            "verification: one line, exit status 1. ") +
        kStopRequestWords +
        " or --count: \"offline\", up to 5 s for\nacknowledgements, then \"published N, dropped M, "
        "unacknowledged K\" on standard error, status 0.");
}

// The help, the version, or the usage error as one line. Returns the exit status.
// `word` is the first argument, if any.
int ReportParse(const CLI::App& app, const CLI::ParseError& error, const char* word, std::FILE* out,
                std::FILE* err) {
    std::ostringstream text, ignored;
    if (error.get_exit_code() == 0) {
        app.exit(error, text, ignored);
        std::fputs(text.str().c_str(), out);
        return EXIT_OK;
    }
    std::string what = error.what();
    std::string command = "korvane-cli";
    for (const CLI::App* sub : app.get_subcommands()) command += " " + sub->get_name();
    // Without a command CLI11 only says that one is required, also when a word was given.
    if (command == "korvane-cli" && word && *word != '-')
        what = "unknown command \"" + std::string(word) + "\"";
    // One line whatever the words held: line breaks become spaces, other control characters '?'.
    for (char& c : what) {
        if (c == '\n' || c == '\r') c = ' ';
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    std::fprintf(err, "korvane-cli: %s (see %s --help)\n", what.c_str(), command.c_str());
    return EXIT_USAGE;
}

} // namespace

int RunCli(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    Request request;
    CLI::App app{"Korvane's board and COM ports from a shell: the program's own connection, no window.",
                 "korvane-cli"};
    app.set_version_flag("--version", "korvane-cli " KORVANE_VERSION);
    app.require_subcommand(1);
    app.footer(kExitStatus);
    CLI::App* probe =
        AddCommand(app, "probe", "connect as the program does; print the speed", &request, true);
    CLI::App* poll =
        AddCommand(app, "poll", "poll the board every 100 ms; print a row per reply", &request, true);
    AddPollOptions(poll, &request);
    CLI::App* publish = AddCommand(app, "publish", kPublishAbout, &request, true);
    AddPublishOptions(publish, &request);
    CLI::App* dump = AddCommand(app, "dump", "open the port as the program does; print its six state lines",
                                &request, true);
    CLI::App* ports = AddCommand(app, "ports", kPortsAbout, &request, false);
    CLI::App* map = AddCommand(app, "map", kLinkHelp.map, &request, true);
    map->add_option("PATH", request.target, kLinkHelp.path)
        ->required()
        ->check(
            CLI::Validator([](std::string& path) { return path.empty() ? "PATH is empty" : ""; }, "", ""));
    CLI::App* unmap = AddCommand(app, "unmap", kLinkHelp.unmap, &request, true);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return ReportParse(app, error, argc > 1 ? argv[1] : nullptr, out, err);
    }
    const int com = request.poll.com;
    if (probe->parsed()) return ProbeBoard(com, out, err);
    if (poll->parsed()) return PollBoard(request.poll, out, err);
    if (publish->parsed()) return PublishBoard(request.poll, request.publish, err);
    if (dump->parsed()) return DumpPort(com, out, err);
    if (map->parsed()) return MapCom(com, request.target, out, err);
    if (unmap->parsed()) return UnmapCom(com, out, err);
    if (ports->parsed()) return ListPorts(out, err);
    return EXIT_OK;
}

} // namespace cli
