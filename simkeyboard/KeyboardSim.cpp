// KeyboardSim: installs the simulated QX-310 keyboard's driver and drives it,
// so shells and tests press keys alike:
//   KeyboardSim install && KeyboardSim press 1 1 && KeyboardSim log
#include "KeyboardClient.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace simkeyboard;

namespace {

// The driver's INF, which lies beside this program.
std::string InfBesideProgram() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return std::string();
    std::string folder(path, length);
    folder.erase(folder.find_last_of('\\') + 1);
    return folder + "qxsimkbd.inf";
}

int Print(const CommandOutcome& outcome) {
    std::FILE* stream = outcome.exitCode == EXIT_DONE ? stdout : stderr;
    std::fwrite(outcome.text.data(), 1, outcome.text.size(), stream);
    return outcome.exitCode;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> words(argv + 1, argv + argc);
    const ParsedCommand parsed = ParseSimulatorCommand(words);
    if (!parsed.command) {
        std::fprintf(stderr, "KeyboardSim: %s\n\n%s", parsed.error.c_str(), UsageText().c_str());
        return EXIT_BAD_COMMAND_LINE;
    }
    switch (parsed.command->verb) {
    case Verb::Install:
        return Print(InstallDriver(InfBesideProgram()));
    case Verb::Remove:
        return Print(RemoveDriver());
    default:
        return Print(Execute(*parsed.command));
    }
}
