// corvane-touchbar-helper: everything Corvane needs root for on Linux, and nothing else.
//
// pkexec starts it as /usr/libexec/corvane/corvane-touchbar-helper VERB; polkit has one action
// per verb, pinned by this path and the verb, so each prompt names exactly one of these:
//   restart-daemon  restart tiny-dfr.service
//   reset-daemon    clear tiny-dfr.service's failed state, then restart it
//   reselect-display  select the Touch Bar display's USB configuration again (0, then 2, up to
//                   three times, each followed by up to 5 s for its card), then reset and start
//                   tiny-dfr (a display that timed out, or the firmware's own keys)
//   reload-drivers  stop tiny-dfr, unload and reload the Touch Bar's three drivers, start tiny-dfr
//                   again, then wait for its display (a Touch Bar left blank after resume)
//   stop-services   end root's copies of the six macOS Touch Bar service names
//   before-sleep    stop tiny-dfr and unload the Touch Bar keyboard driver
//   after-wake      load the keyboard driver, start tiny-dfr, and wait for the display
//
// It trusts nothing from its caller: exactly one argument from the fixed set above, every tool
// by absolute path with an environment of its own (LC_ALL=C and a fixed PATH), no shell,
// standard input on /dev/null, inherited descriptors closed, and a time limit for every tool.
//
// It never leaves the Touch Bar worse than it found it. A driver that is in use is seen in
// /sys/module before anything is stopped, and the verb is refused with nothing changed. What a
// verb takes away (tiny-dfr stopped, a driver unloaded) it gives back when it cannot go on: after
// a step that failed, or after SIGINT, SIGTERM, SIGHUP or SIGQUIT (a Ctrl-C, a closed terminal),
// which are held and looked at before each step that would take something more away. A driver
// that does not load ends nothing: the others still load and tiny-dfr still starts. One verb runs
// at a time: each holds /run/corvane-touchbar-helper.lock from start to end.
//
// Standard output gets one line per step ("corvane-touchbar-helper: systemctl restart
// tiny-dfr.service: done"); standard error gets what went wrong, and, when a verb that touched
// tiny-dfr or the drivers did not finish, one closing line on how it left the Touch Bar
// ("left the Touch Bar with tiny-dfr started; appletbdrm not loaded").
//
// Exit status:
//   0  done
//   1  a step failed or ran out of time (what ran and the tool's own words are on stderr), or a
//      driver was in use and nothing was changed
//   2  refused: no verb, an unknown verb, or more than one argument (usage on stderr)
//   3  not run as root (effective user is not 0)
//   4  the Touch Bar's display did not appear within 10 s (reselect-display: after three tries of
//      5 s), with tiny-dfr started
//   5  ended early by a signal, after giving back what the verb had taken
//   6  not run: another run held the lock for 30 s, or the lock is not root's own plain file
// Arguments are checked before the user: a caller who got them wrong learns that first, and
// nothing about a bad request depends on who made it.

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::string_view program = "corvane-touchbar-helper";
constexpr auto toolLimit = 10s;
constexpr auto displayLimit = 10s;
constexpr auto lockLimit = 30s;
constexpr const char* lockPath = "/run/corvane-touchbar-helper.lock";

enum Status {
    Done = 0,
    Failed = 1,
    Refused = 2,
    NotRoot = 3,
    NoDisplay = 4,
    Interrupted = 5,
    Busy = 6
};

enum class Kind {
    Stop,    // takes tiny-dfr away until a Start gives it back
    Start,   // gives it back
    Unload,  // takes a driver away; one that is not loaded is already where we want it
    Load,    // gives one back; a failure is noted, and the verb goes on
    Tool,    // must exit with 0
    End,     // pkill: 1 means nothing matched
    Display, // wait for the Touch Bar's display card
    Reselect // the display's USB configuration selected again, until its card is there
};

struct Step {
    Kind kind;
    bool settle = false; // one second after it, for the driver to bind before the next needs it
    std::array<const char*, 7> argv{}; // ends with a null pointer, as posix_spawn wants
};

constexpr const char* systemctl = "/usr/bin/systemctl";
constexpr const char* modprobe = "/usr/sbin/modprobe";
constexpr const char* pkill = "/usr/bin/pkill";
constexpr const char* unit = "tiny-dfr.service";

constexpr Step restart{.kind = Kind::Tool, .argv = {systemctl, "restart", unit}};
constexpr Step resetFailed{.kind = Kind::Tool, .argv = {systemctl, "reset-failed", unit}};
constexpr Step stop{.kind = Kind::Stop, .argv = {systemctl, "stop", unit}};
constexpr Step start{.kind = Kind::Start, .argv = {systemctl, "start", unit}};
constexpr Step display{.kind = Kind::Display};
constexpr Step reselect{.kind = Kind::Reselect};

constexpr Step unload(const char* module) {
    return {.kind = Kind::Unload, .argv = {modprobe, "-r", module}};
}
constexpr Step load(const char* module, bool settle = false) {
    return {.kind = Kind::Load, .settle = settle, .argv = {modprobe, module}};
}
constexpr Step end(const char* name) {
    return {.kind = Kind::End, .argv = {pkill, "-U", "0", "-x", name}};
}

// Everything a verb may take away, given back in the order the drivers need: the backlight
// before the keyboard, both before the display, and tiny-dfr last.
constexpr Step giveBack[] = {
    load("hid_appletb_bl", true),
    load("hid_appletb_kbd", true),
    load("appletbdrm"),
    resetFailed,
    start,
};

constexpr Step restartDaemon[] = {restart};
constexpr Step resetDaemon[] = {resetFailed, restart};
// tiny-dfr starts before the wait for the display, so that a slow card never keeps it stopped.
constexpr Step reloadDrivers[] = {
    stop,
    unload("appletbdrm"),
    unload("hid_appletb_bl"),
    unload("hid_appletb_kbd"),
    load("hid_appletb_bl", true),
    load("hid_appletb_kbd", true),
    load("appletbdrm"),
    resetFailed,
    start,
    display,
};
constexpr Step reselectDisplay[] = {reselect, resetFailed, start};
constexpr Step stopServices[] = {
    end("TouchBarServer"), end("NowPlayingTouchUI"),  end("ControlStrip"),
    end("TouchBarAgent"),  end("TouchBarUserDevice"), end("DFRFoundation"),
};
constexpr Step beforeSleep[] = {stop, unload("hid_appletb_kbd")};
constexpr Step afterWake[] = {load("hid_appletb_kbd", true), start, display};

struct Verb {
    std::string_view name;
    std::span<const Step> steps;
};

constexpr Verb verbs[] = {
    {"restart-daemon", restartDaemon}, {"reset-daemon", resetDaemon},
    {"reload-drivers", reloadDrivers}, {"reselect-display", reselectDisplay},
    {"stop-services", stopServices},   {"before-sleep", beforeSleep},
    {"after-wake", afterWake},
};

// SIGINT, SIGTERM, SIGHUP and SIGQUIT stay blocked from the start: they are taken here, at the
// points where a verb may end cleanly, and the first one is remembered.
sigset_t endSignals;
int endSignal = 0;

bool endRequested() {
    const timespec now{};
    if (endSignal == 0) {
        if (const int signal = sigtimedwait(&endSignals, nullptr, &now); signal > 0)
            endSignal = signal;
    }
    return endSignal != 0;
}

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

int interrupted() {
    say(STDERR_FILENO, std::string("interrupted by SIG") + sigabbrev_np(endSignal));
    return Interrupted;
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
    bool started = false;
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
    outcome.started = true;

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

int awaitDisplay() {
    for (const auto deadline = Clock::now() + displayLimit;; std::this_thread::sleep_for(100ms)) {
        if (displayPresent()) {
            say(STDOUT_FILENO, "Touch Bar display: present");
            return Done;
        }
        if (endRequested())
            return interrupted();
        if (Clock::now() >= deadline) {
            say(STDERR_FILENO, "the Touch Bar's display did not appear within 10 s");
            return NoDisplay;
        }
    }
}

// The Touch Bar's display on the USB bus, found here and nowhere else: exactly one device whose
// ids are 05ac:8302, whose folder is in /sys once its links are followed.
std::optional<std::filesystem::path> displayDevice(std::string& why) {
    const auto holds = [](const std::filesystem::path& file, std::string_view value) {
        std::string read;
        return std::ifstream(file) >> read && read == value;
    };
    std::vector<std::filesystem::path> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/bus/usb/devices", error)) {
        if (holds(entry.path() / "idVendor", "05ac") && holds(entry.path() / "idProduct", "8302"))
            found.push_back(entry.path());
    }
    if (found.size() != 1) {
        why = found.empty() ? "no USB device 05ac:8302 (the Touch Bar's display) is on the bus"
                            : "more than one USB device is 05ac:8302, so none was chosen";
        return std::nullopt;
    }
    const std::filesystem::path device = std::filesystem::canonical(found.front(), error);
    if (error || !device.string().starts_with("/sys/")) {
        why = found.front().string() + " leads out of /sys";
        return std::nullopt;
    }
    return device;
}

// Writes `value` to the device's bConfigurationValue, never through a link.
bool configure(const std::filesystem::path& device, const char* value) {
    const std::string file = device / "bConfigurationValue";
    const int fd = open(file.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    const bool written = fd >= 0 && write(fd, value, 1) == 1;
    const int cause = errno;
    if (fd >= 0)
        close(fd);
    say(written ? STDOUT_FILENO : STDERR_FILENO,
        "bConfigurationValue " + std::string(value) + ": " +
            (written ? "written" : std::string("cannot be written: ") + std::strerror(cause)));
    return written;
}

// Configuration 0 lets every driver go, 2 is the one appletbdrm drives; a display that timed out
// often needs more than one go. Three tries, each waiting up to 5 s for the card.
int reselectConfiguration(bool& written) {
    std::string why;
    const std::optional<std::filesystem::path> device = displayDevice(why);
    if (!device) {
        say(STDERR_FILENO, why + "; nothing was changed");
        return Failed;
    }
    constexpr int tries = 3;
    for (int attempt = 1; attempt <= tries; ++attempt) {
        // Once 0 is written, 2 is what gives the display back: nothing stops between the two.
        if (!configure(*device, "0"))
            return Failed;
        written = true;
        if (!configure(*device, "2"))
            return Failed;
        for (const auto deadline = Clock::now() + 5s; Clock::now() < deadline;
             std::this_thread::sleep_for(100ms)) {
            if (displayPresent()) {
                say(STDOUT_FILENO, "Touch Bar display: present");
                return Done;
            }
            if (endRequested())
                return interrupted();
        }
    }
    say(STDERR_FILENO, "the Touch Bar's display did not appear after 3 tries of 5 s");
    return NoDisplay;
}

// The tool's words, one line each, after what ran.
void fail(const std::string& what, const Outcome& outcome) {
    std::string_view words = outcome.words;
    while (!words.empty()) {
        const std::size_t newline = words.find('\n');
        if (newline != 0)
            say(STDERR_FILENO, what + ": " + std::string(words.substr(0, newline)));
        words.remove_prefix(newline == std::string_view::npos ? words.size() : newline + 1);
    }
    if (outcome.status >= 0)
        say(STDERR_FILENO, what + ": failed with status " + std::to_string(outcome.status));
}

enum class Result {
    Done,
    Absent, // nothing to do: the driver was not loaded, or no such service ran
    Failed,
    Unsure // ended without a status of its own (its limit, a signal): it may have done its work
};

Result perform(const Step& step) {
    const std::string what = label(step);
    const Outcome outcome = run(step);
    if (outcome.status == 0) {
        say(STDOUT_FILENO, what + ": done");
    } else if (step.kind == Kind::End && outcome.status == 1) {
        say(STDOUT_FILENO, what + ": none running");
        return Result::Absent;
    } else if (step.kind == Kind::Unload && outcome.status == 1 &&
               outcome.words.find(" is not currently loaded") != std::string::npos) {
        say(STDOUT_FILENO, what + ": not loaded");
        return Result::Absent;
    } else {
        fail(what, outcome);
        return outcome.started && outcome.status < 0 ? Result::Unsure : Result::Failed;
    }
    if (step.settle)
        std::this_thread::sleep_for(1s);
    return Result::Done;
}

// What a run has changed: what it took and has not given back, and how it leaves tiny-dfr and
// each driver it touched.
struct Ledger {
    bool touched = false;
    bool daemonTaken = false;
    std::string daemon = "as it was";
    std::vector<std::string_view> unloaded; // taken, and not yet loaded again
    std::vector<std::string_view> loaded;
    std::vector<std::string_view> notLoaded;

    void note(const Step& step, Result result) {
        touched = touched || step.kind == Kind::Stop || step.kind == Kind::Start ||
                  step.kind == Kind::Unload || step.kind == Kind::Load;
        const std::string_view module = step.kind == Kind::Unload ? step.argv[2] : step.argv[1];
        const auto drop = [&module](std::vector<std::string_view>& names) {
            std::erase(names, module);
        };
        if (step.kind == Kind::Stop) {
            // Even a stop that failed may have stopped it.
            daemonTaken = true;
            daemon = "stopped";
        } else if (step.kind == Kind::Start) {
            daemonTaken = daemonTaken && result != Result::Done;
            daemon = result == Result::Done ? "started" : "not started";
        } else if (step.kind == Kind::Unload &&
                   (result == Result::Done || result == Result::Unsure)) {
            unloaded.push_back(module);
            drop(loaded);
            drop(notLoaded);
            notLoaded.push_back(module);
        } else if (step.kind == Kind::Load) {
            drop(unloaded);
            drop(loaded);
            drop(notLoaded);
            (result == Result::Done ? loaded : notLoaded).push_back(module);
        }
    }
};

std::string listed(std::span<const std::string_view> names) {
    std::string text;
    for (const std::string_view& name : names) {
        if (!text.empty())
            text.append(&name == &names.back() ? " and " : ", ");
        text.append(name);
    }
    return text;
}

std::string closing(const Ledger& ledger) {
    std::string text = "left the Touch Bar with tiny-dfr " + ledger.daemon;
    if (!ledger.loaded.empty())
        text.append("; ").append(listed(ledger.loaded)).append(" loaded");
    if (!ledger.notLoaded.empty())
        text.append("; ").append(listed(ledger.notLoaded)).append(" not loaded");
    return text;
}

// Runs the steps in order. A failure, or a signal before a step that would take something more
// away, ends them there; a driver that does not load is only noted. What was taken and not yet
// given back is then given back.
int performSteps(std::span<const Step> steps, Ledger& ledger) {
    int status = Done;
    for (const Step& step : steps) {
        const bool takes =
            step.kind == Kind::Stop || step.kind == Kind::Unload || step.kind == Kind::End;
        if ((takes || !ledger.touched) && endRequested()) {
            status = interrupted();
            break;
        }
        if (step.kind == Kind::Display) {
            status = status == Done ? awaitDisplay() : status;
            break;
        }
        if (step.kind == Kind::Reselect) {
            status = reselectConfiguration(ledger.touched);
            // A display that did not come back still gets tiny-dfr started: it was not running.
            if (status != Done && status != NoDisplay)
                break;
            continue;
        }
        const Result result = perform(step);
        ledger.note(step, result);
        if (result == Result::Failed || result == Result::Unsure) {
            status = Failed;
            if (step.kind != Kind::Load)
                break;
        }
    }
    for (const Step& step : status == Done ? std::span<const Step>() : giveBack) {
        const bool owed =
            step.kind == Kind::Load
                ? std::ranges::find(ledger.unloaded, step.argv[1]) != ledger.unloaded.end()
                : ledger.daemonTaken;
        if (owed)
            ledger.note(step, perform(step));
    }
    return status;
}

// A driver the kernel would not unload: held by another module than those unloaded before it,
// or open (a compositor holding the display counts in refcnt, and is no holder).
std::optional<std::string> driverInUse(std::span<const Step> steps) {
    std::vector<std::string> unloadedBefore;
    for (const Step& step : steps) {
        if (step.kind != Kind::Unload)
            continue;
        std::string module = step.argv[2];
        const std::filesystem::path folder = std::filesystem::path("/sys/module") / module;
        long references = 0;
        // Not loaded, built in, or unreadable: modprobe will say.
        if (std::ifstream(folder / "refcnt") >> references) {
            long holders = 0;
            std::error_code error;
            for (const auto& holder :
                 std::filesystem::directory_iterator(folder / "holders", error)) {
                const std::string name = holder.path().filename();
                if (std::ranges::find(unloadedBefore, name) == unloadedBefore.end())
                    return module.append(" is in use by ").append(name);
                ++holders;
            }
            if (references > holders)
                return module + " is in use (its refcnt is " + std::to_string(references) + ")";
        }
        unloadedBefore.push_back(module);
    }
    return std::nullopt;
}

// Waits up to lockLimit for another run to end, then holds the lock until this process ends.
// Only root writes in /run; still, a link, or a file root did not make as its own, is refused
// rather than followed or shared.
int lock() {
    const int fd =
        open(lockPath, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    struct stat file {};
    if (fd < 0 || fstat(fd, &file) != 0) {
        say(STDERR_FILENO,
            std::string(lockPath) + ": " + std::strerror(errno) + "; nothing was changed");
        return Busy;
    }
    if (!S_ISREG(file.st_mode) || file.st_uid != 0 || (file.st_mode & 077) != 0 ||
        file.st_nlink != 1) {
        say(STDERR_FILENO,
            std::string(lockPath) + " is not root's own plain file; nothing was changed");
        return Busy;
    }
    for (const auto deadline = Clock::now() + lockLimit;; std::this_thread::sleep_for(100ms)) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            return Done;
        if (endRequested())
            return interrupted();
        if (Clock::now() >= deadline) {
            say(STDERR_FILENO, "another corvane-touchbar-helper has been running for 30 s; "
                               "nothing was changed");
            return Busy;
        }
    }
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
    // does not stop a verb halfway, nor does one that ends or signals us.
    close_range(3, ~0U, 0);
    std::signal(SIGCHLD, SIG_DFL);
    std::signal(SIGPIPE, SIG_IGN);
    sigemptyset(&endSignals);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaddset(&endSignals, signal);
    sigprocmask(SIG_BLOCK, &endSignals, nullptr);

    if (const int status = lock(); status != Done)
        return status;
    if (const auto inUse = driverInUse(verb->steps)) {
        say(STDERR_FILENO, *inUse + ", so nothing was stopped or unloaded: the Touch Bar is as "
                                    "it was");
        return Failed;
    }
    Ledger ledger;
    const int status = performSteps(verb->steps, ledger);
    if (status != Done && ledger.touched)
        say(STDERR_FILENO, closing(ledger));
    return status;
}
