#include "app/run_options.h"

#include <cctype>

namespace {

// One meaning, however a command line spells it.
enum class Switch { kQuiet, kPassive, kNoRestart, kRestart, kLog, kUsage, kVersion, kUnknown };

struct Spelling {
  const char* text;
  Switch meaning;
};

const Spelling kInstallerSpellings[] = {
    {"quiet", Switch::kQuiet},   {"passive", Switch::kPassive}, {"norestart", Switch::kNoRestart},
    {"forcerestart", Switch::kRestart}, {"log", Switch::kLog},  {"?", Switch::kUsage},
};

const Spelling kPosixSpellings[] = {
    {"--quiet", Switch::kQuiet},   {"--passive", Switch::kPassive}, {"--no-restart", Switch::kNoRestart},
    {"--restart", Switch::kRestart}, {"--log", Switch::kLog},       {"--help", Switch::kUsage},
    {"--version", Switch::kVersion},
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Applies one switch; false with the reason when it contradicts an earlier
// one. `value` is the log file's path for kLog.
bool Apply(Switch meaning, const std::string& spelled, const std::string& value, RunOptions* options,
           std::string* error) {
  switch (meaning) {
    case Switch::kQuiet:
    case Switch::kPassive: {
      const Attendance wanted = meaning == Switch::kQuiet ? Attendance::kQuiet : Attendance::kPassive;
      if (options->attendance != Attendance::kAttended && options->attendance != wanted) {
        *error = "quiet and passive runs exclude each other";
        return false;
      }
      options->attendance = wanted;
      return true;
    }
    case Switch::kNoRestart:
    case Switch::kRestart: {
      const RestartChoice wanted = meaning == Switch::kRestart ? RestartChoice::kAlways : RestartChoice::kNever;
      if (options->restart != RestartChoice::kAsk && options->restart != wanted) {
        *error = "a run cannot both restart and not restart the machine";
        return false;
      }
      options->restart = wanted;
      return true;
    }
    case Switch::kLog:
      if (!options->logPath.empty()) {
        *error = "one log file only";
        return false;
      }
      if (value.empty()) {
        *error = spelled + " needs a file";
        return false;
      }
      options->logPath = value;
      return true;
    case Switch::kUsage:
      options->usage = true;
      return true;
    case Switch::kVersion:
      options->version = true;
      return true;
    case Switch::kUnknown:
      break;
  }
  *error = "unknown switch " + spelled;
  return false;
}

}  // namespace

bool ParseInstallerSwitches(const std::vector<std::string>& arguments, RunOptions* options, std::string* error) {
  // Every switch is read, past a bad one too: a quiet run told wrong must
  // still be known to be quiet, and show nothing.
  std::string first;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    Switch meaning = Switch::kUnknown;
    if (argument.size() > 1 && (argument[0] == '/' || argument[0] == '-')) {
      const std::string name = Lower(argument.substr(1));
      for (const Spelling& spelling : kInstallerSpellings) {
        if (name == spelling.text) meaning = spelling.meaning;
      }
    }
    std::string value;
    if (meaning == Switch::kLog && i + 1 < arguments.size()) value = arguments[++i];
    if (!Apply(meaning, argument, value, options, error) && first.empty()) first = *error;
  }
  *error = first;
  return first.empty();
}

bool ParsePosixOptions(const std::vector<std::string>& arguments, RunOptions* options, std::string* error) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    std::string argument = arguments[i];
    std::string value;
    const size_t equals = argument.find('=');
    if (argument.compare(0, 6, "--log=") == 0) {
      value = argument.substr(equals + 1);
      argument.erase(equals);
    }
    Switch meaning = Switch::kUnknown;
    for (const Spelling& spelling : kPosixSpellings) {
      if (argument == spelling.text) meaning = spelling.meaning;
    }
    if (meaning == Switch::kUnknown) {
      *error = "unrecognized argument '" + arguments[i] + "'";
      return false;
    }
    if (meaning == Switch::kLog && equals == std::string::npos && i + 1 < arguments.size()) value = arguments[++i];
    if (!Apply(meaning, argument, value, options, error)) return false;
  }
  return true;
}
