#pragma once
// The host's two readings of its command line.
//
// The first reading runs at every start, before the single-instance check:
// the arguments are split the way the system splits them, the program path
// is skipped, one leading '/' or '-' is dropped from each (a bare word is a
// switch as well) and the rest is compared without case with the switch
// names. A switch that takes an argument consumes the next one; standing
// last, it is ignored. Other arguments are ignored.
//
// The second reading runs in the first instance only: the registration
// words are looked for after every '-' or '/' anywhere in the line.
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

class CommandLine {
public:
  CommandLine() = delete;

  enum class SwitchKind {
    Quit,      // "quit": close the running instance, or end at once
    Launch,    // "launch URL": hand a launch string to the running instance
    Hide,      // "hide": start with the main window hidden
    NoSplash,  // "nosplash": no splash window
    Wait,      // "wait PID": wait for an old instance to end first
  };

  struct Switch {
    SwitchKind kind;
    std::wstring argument;  // the URL or process id text; empty for the others

    friend bool operator==(const Switch&, const Switch&) = default;
  };

  enum class RegistrationWord {
    None,
    RegServer,
    UnregServer,
    RegServerPerUser,
    UnregServerPerUser,
  };

  // The switches of a whole command line (program path first), in the
  // order they stand; duplicates are kept. Raises std::bad_alloc.
  static std::vector<Switch> switches(const wchar_t* commandLine);

  // The first registration word of the line, or None.
  static RegistrationWord registrationWord(std::wstring_view commandLine) noexcept;

  // The process id of a "wait" argument: the text read as an unsigned
  // decimal number; 0 (no wait) when it does not start with one.
  static DWORD waitProcessId(const std::wstring& text) noexcept;
};
