#include "SimulatorCommand.h"

#include <cerrno>
#include <cstdlib>
#include <map>

namespace simkeyboard {

namespace {

// Decimal or 0x-prefixed hexadecimal, within [0, limit].
std::optional<std::uint32_t> ParseNumber(const std::string& word, std::uint32_t limit) {
    if (word.empty() || word[0] == '-' || word[0] == '+' || word.size() > 12)
        return std::nullopt;
    const bool hex = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(word.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || value > limit)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

std::optional<std::uint8_t> ParseByte(const std::string& word) {
    const auto value = ParseNumber(word, 255);
    if (!value)
        return std::nullopt;
    return static_cast<std::uint8_t>(*value);
}

PollReply KeyEventReply(std::uint8_t code, std::uint8_t state) {
    return PollReply{{0, 0, code, state}, 0};
}

struct Parser {
    const std::vector<std::string>& words;
    SimulatorCommand result;
    std::string error;

    bool Fail(const std::string& why) {
        error = why;
        return false;
    }

    bool ExpectCount(std::size_t low, std::size_t high) {
        const std::size_t given = words.size() - 1;
        if (given < low || given > high)
            return Fail("wrong number of arguments for \"" + words[0] + "\"");
        return true;
    }

    bool Byte(std::size_t at, const char* what, std::uint8_t& out) {
        const auto value = ParseByte(words[at]);
        if (!value)
            return Fail(std::string(what) + " must be 0 to 255: \"" + words[at] + "\"");
        out = *value;
        return true;
    }

    bool Number(std::size_t at, const char* what, std::uint32_t limit, std::uint32_t& out) {
        const auto value = ParseNumber(words[at], limit);
        if (!value)
            return Fail(std::string(what) + " must be 0 to " + std::to_string(limit) + ": \"" +
                        words[at] + "\"");
        out = *value;
        return true;
    }

    bool OptionalCommandByte(std::size_t at) {
        if (at >= words.size())
            return true;
        std::uint8_t command = 0;
        if (!Byte(at, "COMMAND", command))
            return false;
        result.command = command;
        return true;
    }

    bool Press() {
        std::uint8_t code = 0, state = 0;
        if (!ExpectCount(2, 2) || !Byte(1, "CODE", code) || !Byte(2, "STATE", state))
            return false;
        result.replies.push_back(KeyEventReply(code, state));
        return true;
    }

    bool Queue() {
        if (words.size() < 2)
            return Fail("\"queue\" needs at least one CODE:STATE");
        for (std::size_t at = 1; at < words.size(); ++at) {
            const std::string& word = words[at];
            const std::size_t colon = word.find(':');
            const auto code =
                colon == std::string::npos ? std::nullopt : ParseByte(word.substr(0, colon));
            const auto state =
                colon == std::string::npos ? std::nullopt : ParseByte(word.substr(colon + 1));
            if (!code || !state)
                return Fail("not a CODE:STATE pair of bytes: \"" + word + "\"");
            result.replies.push_back(KeyEventReply(*code, *state));
        }
        return true;
    }

    bool Reply() {
        PollReply reply;
        std::size_t at = 1;
        const std::string errorPrefix = "error=";
        if (at < words.size() && words[at].compare(0, errorPrefix.size(), errorPrefix) == 0) {
            const auto value = ParseNumber(words[at].substr(errorPrefix.size()), MAX_ERROR);
            if (!value)
                return Fail("not an error code: \"" + words[at] + "\"");
            reply.error = *value;
            ++at;
        }
        if (words.size() - at > MAX_REPLY_BYTES)
            return Fail("a reply holds at most 400 bytes");
        for (; at < words.size(); ++at) {
            std::uint8_t byte = 0;
            if (!Byte(at, "BYTE", byte))
                return false;
            reply.bytes.push_back(byte);
        }
        result.replies.push_back(reply);
        return true;
    }

    bool Arguments() {
        switch (result.verb) {
        case Verb::Press:
            return Press();
        case Verb::Queue:
            return Queue();
        case Verb::Reply:
            return Reply();
        case Verb::Interfaces:
            return ExpectCount(1, 1) && Number(1, "N", MAX_INTERFACES, result.number);
        case Verb::Fault:
            return ExpectCount(2, 3) && Number(1, "ERROR", MAX_ERROR, result.number) &&
                   Number(2, "COUNT", 1000000, result.count) && OptionalCommandByte(3);
        case Verb::Delay:
            return ExpectCount(1, 2) && Number(1, "MS", MAX_DELAY_MS, result.number) &&
                   OptionalCommandByte(2);
        default:
            return ExpectCount(0, 0);
        }
    }
};

const std::map<std::string, Verb>& Verbs() {
    static const std::map<std::string, Verb> verbs = {
        {"install", Verb::Install},       {"remove", Verb::Remove}, {"status", Verb::Status},
        {"press", Verb::Press},           {"queue", Verb::Queue},   {"reply", Verb::Reply},
        {"unplug", Verb::Unplug},         {"plug", Verb::Plug},     {"fault", Verb::Fault},
        {"interfaces", Verb::Interfaces}, {"delay", Verb::Delay},   {"log", Verb::Log},
        {"clear", Verb::Clear},           {"reset", Verb::Reset},   {"help", Verb::Help},
    };
    return verbs;
}

} // namespace

ParsedCommand ParseSimulatorCommand(const std::vector<std::string>& words) {
    if (words.empty())
        return {std::nullopt, "no command given"};
    const auto verb = Verbs().find(words[0]);
    if (verb == Verbs().end())
        return {std::nullopt, "unknown command \"" + words[0] + "\""};
    Parser parser{words, {}, {}};
    parser.result.verb = verb->second;
    if (!parser.Arguments())
        return {std::nullopt, parser.error};
    return {parser.result, {}};
}

std::string UsageText() {
    return "KeyboardSim: controls the simulated QX-310 keyboard's driver.\n"
           "Usage: KeyboardSim COMMAND [ARGUMENTS]\n"
           "  install                      install the driver (qxsimkbd.inf beside this\n"
           "                               program) and wait until the keyboard is present\n"
           "  remove                       remove the keyboard's device\n"
           "  status                       plugged, interfaces, queued replies, open devices\n"
           "  press CODE STATE             queue the key event {0, 0, CODE, STATE}\n"
           "  queue CODE:STATE...          queue several key events, in order\n"
           "  reply [error=E] [BYTE...]    queue one raw poll reply (0 to 400 bytes),\n"
           "                               completed with error E when given\n"
           "  unplug                       remove the keyboard: discovery finds nothing, opens\n"
           "                               are refused, requests fail with error 1167\n"
           "  plug                         plug it back (handles opened before stay dead)\n"
           "  interfaces N                 interfaces that discovery finds (0 to 4, default 1)\n"
           "  fault ERROR COUNT [COMMAND]  fail the next COUNT requests (with that command\n"
           "                               byte only, when given) with ERROR\n"
           "  delay MS [COMMAND]           answer requests (with that command byte) MS ms late;\n"
           "                               \"delay 0\" ends it\n"
           "  log                          print the packet log\n"
           "  clear                        empty the packet log\n"
           "  reset                        plugged, one interface, nothing queued, no faults,\n"
           "                               no delay, empty log\n"
           "Numbers are decimal or 0x hexadecimal; errors are Win32 errors, 0 to 65535.\n"
           "Exit code 0 done, 1 no keyboard driver (or it refused), 2 bad command line.\n";
}

} // namespace simkeyboard
