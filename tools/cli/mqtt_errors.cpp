// libmosquitto's results as korvane-cli's phrases and exit statuses, in one table.
#include "args.h"
#include "publisher.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstring>

namespace cli {
namespace {

struct Row {
    MqttStage stage;
    int code;
    int exitStatus;
    const char* text;
};

// Only what no later attempt can mend ends the publisher. A TLS failure while connecting is the
// verification of the broker's certificate (or of ours by the broker); on an established
// connection it is a connection lost like any other.
constexpr Row kRows[] = {
    {MqttStage::Connack, 1, EXIT_FAILED, "the broker refused the connection: it does not speak MQTT 3.1.1"},
    {MqttStage::Connack, 2, EXIT_FAILED,
     "the broker refused the client id (choose another with --client-id)"},
    {MqttStage::Connack, 3, 0, "the broker is unavailable"},
    {MqttStage::Connack, 4, EXIT_FAILED,
     "the broker refused the login: bad user name or password (see --username, --password-file)"},
    {MqttStage::Connack, 5, EXIT_FAILED,
     "the broker refused the login: not authorised (see --username, --password-file)"},
    {MqttStage::Connecting, MOSQ_ERR_TLS, EXIT_FAILED,
     "TLS with the broker failed: %s (see --cafile, --cert, --key; the broker's certificate must name the "
     "host given to --broker)"},
    {MqttStage::Connecting, MOSQ_ERR_EAI, 0, "cannot find the broker's address"},
    {MqttStage::Connecting, MOSQ_ERR_TIMEOUT, 0, "no answer"},
};

} // namespace

MqttOutcome ExplainMqtt(MqttStage stage, int code, const std::string& detail) {
    // With TLS 1.3 a broker that refuses our certificate says so after the handshake: libmosquitto
    // then sees the connection lost, and only the TLS library's reason tells why (or, when the broker
    // closed before its alert was read, libmosquitto's EPROTO, which only its TLS reads set).
    const bool tls = !detail.empty() || (code == MOSQ_ERR_ERRNO && errno == EPROTO);
    if (stage == MqttStage::Connecting && tls) code = MOSQ_ERR_TLS;
    for (const Row& row : kRows) {
        if (row.stage != stage || row.code != code) continue;
        char text[512];
        std::snprintf(text, sizeof text, row.text, detail.empty() ? "the broker ended the connection" : detail.c_str());
        return {row.exitStatus, text};
    }
    if (stage == MqttStage::Connack) return {EXIT_FAILED, mosquitto_connack_string(code)};
    return {0, code == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(code)};
}

} // namespace cli
