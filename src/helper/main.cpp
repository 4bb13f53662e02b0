// corvane-touchbar-helper: everything Corvane needs root for on Linux, and nothing else.
//
// pkexec starts it as /usr/libexec/corvane/corvane-touchbar-helper VERB; polkit has one action
// per verb, pinned by this path and the verb, so each prompt names exactly one of these:
//   restart-daemon  restart tiny-dfr.service
//   reset-daemon    clear tiny-dfr.service's failed state, then restart it
//   reload-drivers  stop tiny-dfr, unload and reload the Touch Bar's three drivers, wait for its
//                   display, then start tiny-dfr again (a Touch Bar left blank after resume)
//   stop-services   end root's copies of the six macOS Touch Bar service names
//   before-sleep    stop tiny-dfr and unload the Touch Bar keyboard driver
//   after-wake      load the keyboard driver, start tiny-dfr, and wait for the display
//
// It trusts nothing from its caller: exactly one argument from the fixed set above, every tool
// by absolute path with an environment of its own (LC_ALL=C and a fixed PATH), no shell,
// standard input on /dev/null, inherited descriptors closed, and a time limit for every tool.
//
// Standard output gets one line per step ("corvane-touchbar-helper: systemctl restart
// tiny-dfr.service: done"); standard error gets what went wrong.
//
// Exit status:
//   0  done
//   1  a step failed or ran out of time; what ran and the tool's own words are on stderr
//   2  refused: no verb, an unknown verb, or more than one argument (usage on stderr)
//   3  not run as root (effective user is not 0)
//   4  the Touch Bar's display did not appear within 10 s
// Arguments are checked before the user: a caller who got them wrong learns that first, and
// nothing about a bad request depends on who made it.

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::string_view program = "corvane-touchbar-helper";
constexpr auto toolLimit = 10s;
constexpr auto displayLimit = 10s;

enum Status { Done = 0, Failed = 1, Refused = 2, NotRoot = 3, NoDisplay = 4 };

enum class Kind {
    Tool,   // must exit with 0
    Unload, // modprobe -r: a module that is not loaded is already where we want it
    End,    // pkill: 1 means nothing matched
    Pause,  // one second for the drivers to bind before the next one needs them
    Display // wait for the Touch Bar's display card
};

struct Step {
    Kind kind;
    std::array<const char*, 7> argv{}; // ends with a null pointer, as posix_spawn wants
};

constexpr const char* systemctl = "/usr/bin/systemctl";
constexpr const char* modprobe = "/usr/sbin/modprobe";
constexpr const char* pkill = "/usr/bin/pkill";
constexpr const char* unit = "tiny-dfr.service";

constexpr Step restart{Kind::Tool, {systemctl, "restart", unit}};
constexpr Step resetFailed{Kind::Tool, {systemctl, "reset-failed", unit}};
constexpr Step stop{Kind::Tool, {systemctl, "stop", unit}};
constexpr Step start{Kind::Tool, {systemctl, "start", unit}};
constexpr Step pause{Kind::Pause, {}};
constexpr Step display{Kind::Display, {}};

constexpr Step unload(const char* module) {
    return {Kind::Unload, {modprobe, "-r", module}};
}
constexpr Step load(const char* module) {
    return {Kind::Tool, {modprobe, module}};
}
constexpr Step end(const char* name) {
    return {Kind::End, {pkill, "-U", "0", "-x", name}};
}

constexpr Step restartDaemon[] = {restart};
constexpr Step resetDaemon[] = {resetFailed, restart};
constexpr Step reloadDrivers[] = {
    stop,
    unload("appletbdrm"),
    unload("hid_appletb_bl"),
    unload("hid_appletb_kbd"),
    load("hid_appletb_bl"),
    pause,
    load("hid_appletb_kbd"),
    pause,
    load("appletbdrm"),
    display,
    resetFailed,
    start,
};
constexpr Step stopServices[] = {
    end("TouchBarServer"), end("NowPlayingTouchUI"),  end("ControlStrip"),
    end("TouchBarAgent"),  end("TouchBarUserDevice"), end("DFRFoundation"),
};
constexpr Step beforeSleep[] = {stop, unload("hid_appletb_kbd")};
constexpr Step afterWake[] = {load("hid_appletb_kbd"), pause, start, display};

struct Verb {
    std::string_view name;
    std::span<const Step> steps;
};

constexpr Verb verbs[] = {
    {"restart-daemon", restartDaemon}, {"reset-daemon", resetDaemon},
    {"reload-drivers", reloadDrivers}, {"stop-services", stopServices},
    {"before-sleep", beforeSleep},     {"after-wake", afterWake},
};

// One write per line, so that a caller reading both streams never gets half a line.
void say(int fd, std::string_view text) {
    std::string line;
    line.append(program).append(": ").append(text).append("\n");
    while (!line.empty()) {
        const ssize_t written = write(fd, line.data(), line.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        line.erase(0, static_cast<std::size_t>(written));
    }
}

int refuse(std::string_view why) {
    say(STDERR_FILENO, std::string("refused: ").append(why));
    std::string usage = "usage: ";
    usage.append(program).append(" ");
    for (const Verb& verb : verbs)
        usage.append(verb.name).append(&verb == std::end(verbs) - 1 ? "" : "|");
    say(STDERR_FILENO, usage);
    return Refused;
}

// What ran, as a person would type it: the tool's name and its arguments.
std::string label(const Step& step) {
    std::string text = std::filesystem::path(step.argv[0]).filename();
    for (const char* const* arg = step.argv.data() + 1; *arg != nullptr; ++arg)
        text.append(" ").append(*arg);
    return text;
}

struct Outcome {
    int status = -1; // exit status, or -1 when the tool did not exit by itself (see words)
    std::string words;
};

// Runs the tool in a process group of its own, with both its outputs collected; past the limit
// the whole group is killed, as is anything the tool left behind when it exits.
Outcome run(const Step& step) {
    Outcome outcome;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        outcome.words = std::strerror(errno);
        return outcome;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Every signal at its default and none blocked, whatever the caller left us with.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                              POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    std::array<const char*, 3> environment{"LC_ALL=C", "PATH=/usr/sbin:/usr/bin:/sbin:/bin"};
    pid_t pid = 0;
    const int spawnError = posix_spawn(&pid, step.argv[0], &actions, &attributes,
                                       const_cast<char* const*>(step.argv.data()),
                                       const_cast<char* const*>(environment.data()));
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(pipeFds[1]);
    if (spawnError != 0) {
        close(pipeFds[0]);
        outcome.words = std::string("could not be started: ") + std::strerror(spawnError);
        return outcome;
    }

    const auto deadline = Clock::now() + toolLimit;
    bool open = true;
    siginfo_t info{};
    while (Clock::now() < deadline) {
        // WNOWAIT keeps the tool a zombie, so its process group cannot be reused before the
        // kill below.
        info.si_pid = 0;
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == pid)
            break;
        pollfd readable{open ? pipeFds[0] : -1, POLLIN, 0};
        if (poll(&readable, 1, 50) <= 0)
            continue;
        std::array<char, 4096> buffer{};
        const ssize_t count = read(pipeFds[0], buffer.data(), buffer.size());
        if (count > 0 && outcome.words.size() < 16384)
            outcome.words.append(buffer.data(), static_cast<std::size_t>(count));
        open = count != 0;
    }
    kill(-pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    for (std::array<char, 4096> buffer{};;) {
        pollfd readable{pipeFds[0], POLLIN, 0};
        if (poll(&readable, 1, 0) <= 0)
            break;
        const ssize_t count = read(pipeFds[0], buffer.data(), buffer.size());
        if (count <= 0 || outcome.words.size() >= 16384)
            break;
        outcome.words.append(buffer.data(), static_cast<std::size_t>(count));
    }
    close(pipeFds[0]);
    if (info.si_pid != pid)
        outcome.words.append("\nstopped after 10 s");
    else if (WIFEXITED(status))
        outcome.status = WEXITSTATUS(status);
    else
        outcome.words.append("\nended by signal " + std::to_string(WTERMSIG(status)));
    return outcome;
}

bool displayPresent() {
    std::error_code error;
    for (const auto& card : std::filesystem::directory_iterator("/sys/class/drm", error)) {
        if (std::filesystem::read_symlink(card.path() / "device/driver", error).filename() ==
            "appletbdrm")
            return true;
    }
    return false;
}

bool awaitDisplay() {
    for (const auto deadline = Clock::now() + displayLimit;; std::this_thread::sleep_for(100ms)) {
        if (displayPresent())
            return true;
        if (Clock::now() >= deadline)
            return false;
    }
}

// The tool's words, one line each, after what ran.
int fail(const std::string& what, const Outcome& outcome) {
    std::string_view words = outcome.words;
    while (!words.empty()) {
        const std::size_t newline = words.find('\n');
        if (newline != 0)
            say(STDERR_FILENO, what + ": " + std::string(words.substr(0, newline)));
        words.remove_prefix(newline == std::string_view::npos ? words.size() : newline + 1);
    }
    if (outcome.status >= 0)
        say(STDERR_FILENO, what + ": failed with status " + std::to_string(outcome.status));
    return Failed;
}

int perform(const Step& step) {
    if (step.kind == Kind::Pause) {
        std::this_thread::sleep_for(1s);
        return Done;
    }
    if (step.kind == Kind::Display) {
        if (!awaitDisplay()) {
            say(STDERR_FILENO, "the Touch Bar's display did not appear within 10 s");
            return NoDisplay;
        }
        say(STDOUT_FILENO, "Touch Bar display: present");
        return Done;
    }
    const std::string what = label(step);
    const Outcome outcome = run(step);
    if (outcome.status == 0) {
        say(STDOUT_FILENO, what + ": done");
    } else if (step.kind == Kind::End && outcome.status == 1) {
        say(STDOUT_FILENO, what + ": none running");
    } else if (step.kind == Kind::Unload && outcome.status == 1 &&
               outcome.words.find(" is not currently loaded") != std::string::npos) {
        say(STDOUT_FILENO, what + ": not loaded");
    } else {
        return fail(what, outcome);
    }
    return Done;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2)
        return refuse("no verb given");
    if (argc > 2)
        return refuse("takes exactly one verb and nothing after it");
    const std::string_view requested = argv[1];
    const Verb* verb = nullptr;
    for (const Verb& candidate : verbs) {
        if (candidate.name == requested)
            verb = &candidate;
    }
    if (verb == nullptr)
        return refuse("unknown verb");
    if (geteuid() != 0) {
        say(STDERR_FILENO,
            "must run as root, through pkexec; effective user is " + std::to_string(geteuid()));
        return NotRoot;
    }

    // None of the caller's descriptors reaches a tool, and an ignored SIGCHLD inherited from
    // the caller would hide the tools' exit statuses. A caller that stops reading our output
    // does not stop a verb halfway.
    close_range(3, ~0U, 0);
    std::signal(SIGCHLD, SIG_DFL);
    std::signal(SIGPIPE, SIG_IGN);

    for (const Step& step : verb->steps) {
        if (const int status = perform(step); status != Done)
            return status;
    }
    return Done;
}
