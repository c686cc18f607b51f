// The operating-system services the navigator uses outside the toolkit.
// Paths are UTF-8 here (file names are UTF-8 on this system). files.cpp holds
// the file services; the desktop services live in their own files and can be
// replaced by a fake in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// ---- Files (files.cpp) ----

// Copies a regular file with its permissions; an existing target is never
// touched. The copy is written under a partial name beside the target that
// only the owner may read, its bytes counted and summed on their way, and
// read back; only a copy that holds as many bytes as the source had before
// and after, with the same sum, is given the target's name. False on any
// failure (source missing or not a regular file, target exists, I/O error,
// a source that changed meanwhile), with its reason in `error` when given;
// nothing is then left behind. `proceed`, when given, is asked after every
// piece with the bytes copied so far; false stops the copy as a failure.
bool copyFileNoOverwrite(const std::string &source, const std::string &target,
                         const std::function<bool(std::uint64_t copied)> &proceed = {},
                         std::string *error = nullptr);

// Reads the whole regular file at `path` into `content`. Anything else (a
// folder, a pipe, a device) and a file above `maxBytes` bytes are refused at
// once: a pipe or a device on a disc never blocks or floods the reader. False
// on any failure, with a message naming the file in `error` when given.
bool readRegularFile(const std::string &path, size_t maxBytes, std::string &content,
                     std::string *error = nullptr);

// Whether the file at `path` is a program the system runs itself: a regular
// file with the executable mark that is an ELF image or a script naming its
// interpreter ("#!"). Media mounted from FAT or plain ISO 9660 mark every file
// executable, so only the content tells a program from a document there.
bool isProgramFile(const std::string &path);

// Makes the file writable by its owner (the read-only attribute cleared).
// Returns 0 on success, otherwise the error code (errno).
int clearReadOnly(const std::string &path);

// `argument` quoted for the `parameters` of shellOpen and shellExecute, so that
// the started program receives it whole, blanks and quotes included.
std::string quotedArgument(const std::string &argument);

// Called first thing at start-up: settings of the process that every later
// call relies on. On Windows, narrow paths given to Boost.Filesystem are
// taken as UTF-8 there too, as everywhere else in the program.
void prepareProcess();

// The program's arguments in UTF-8, the program itself first (Windows hands
// `argv` over in its own code page; the wide command line is read there).
std::vector<std::string> commandLineArguments(int argc, char **argv);

// The process's current directory, which is the medium root. Empty on failure.
std::string currentDirectory();

// Pauses the calling thread; never called with the toolkit's lock held.
void sleepMilliseconds(unsigned milliseconds);

// ---- The working directory (working_directory.cpp) ----

// The system's temporary folder, without a final separator.
std::string temporaryFolder();

// A folder private to the user in which working directories are better made
// than in the temporary folder (on the desktop, its runtime folder kept in
// memory and emptied at logout), or empty when there is none that is safe.
std::string privateRuntimeFolder();

enum class DirectoryCreation { Created, Exists, Failed };

// Creates the directory `path` that only the user running the program can
// read, write or enter. A name that is taken is never adopted: Exists, and
// nothing is changed. The error of a failure is left in errno.
DirectoryCreation createPrivateDirectory(const std::string &path);

// Marks the directory `directory` as in use by this run for as long as the
// process lives (or until releaseRunMarker). False when it cannot be marked.
bool holdRunMarker(const std::string &directory);

// Lets go of the mark of holdRunMarker.
void releaseRunMarker();

// Removes the directory `directory` with everything in it. A link inside is
// removed, never followed; a read-only file is made writable first, since
// Windows deletes none (a copy keeps the attribute the medium gave it). False
// when something stays.
bool removeDirectoryTree(const std::string &directory);

// Whether `directory` was left by a run of this user that has ended without
// cleaning up: ours, not a link, marked, and the mark held by no live run.
bool abandonedRunDirectory(const std::string &directory);

// Has `end` called when the program is asked to end from outside: by a signal
// (SIGINT, SIGTERM, SIGHUP), from the signal handler, with `immediately`
// false; at the end of a Windows session or when its console is closed, with
// `immediately` true, because the system ends the process as soon as `end`
// returns, so it must finish its cleanup there. Called on the main thread at
// start-up.
void onEndRequest(void (*end)(bool immediately));

// ---- Waking the main loop (wakeup.cpp) ----

// Calls `onWake` on the main loop after wakeMainLoop, which any thread and a
// signal handler may call; wakes that come before the main loop takes them
// run `onWake` once. Returns a number for wakeMainLoop, or -1 on failure.
// Main thread, once the toolkit is up.
int watchMainLoopWakeups(void (*onWake)());

// Wakes the main loop for the watch `watch`. Async-signal-safe.
void wakeMainLoop(int watch);

// ---- Desktop services (shell.cpp, registry.cpp, x11_windows.cpp, question_box.cpp) ----

// Handle of a started process: a process id (a process handle on Windows),
// or 0 when none was started.
using ProcessHandle = std::intptr_t;

// Window handle of the desktop (an X11 window id, a Windows HWND), 0 for none.
using WindowHandle = std::uintptr_t;

// Shell "open": an executable regular file is started as a program with
// `parameters` split like a shell command line, in `workingDirectory` (empty:
// the current one); a document (another regular file) or an http(s) address
// goes to the desktop's default application. Anything else (a folder, a pipe,
// a device) is refused. Whatever talks to the desktop's session bus is done
// within a few seconds, whether the bus answers or not. A relative file is taken from the
// working directory. A program is a file with the executable mark that the
// system runs itself (an ELF image or a "#!" script); nothing goes through a
// shell. Returns at once: true when the request was accepted (false when the
// file is missing, cannot be started or has no application).
// With `started` given, a program is started as a child that can be watched:
// its handle goes there (0 for a document or address), to be passed to
// processHasEnded and finally to releaseProcess.
bool shellOpen(WindowHandle owner, const std::string &file, const std::string &parameters,
               const std::string &workingDirectory, ProcessHandle *started = nullptr);

// While the shell waits for the desktop to answer (the session bus), it asks
// `abandon` now and then; true ends the wait at once, as if the desktop had
// not answered. The program passes its quit request, so that a request to end
// never waits for the desktop. Called once at start-up.
void abandonWaitsWhen(bool (*abandon)());

// Shell execute with a process record: as shellOpen, and for a started program
// its handle is stored in `process` (0 otherwise).
bool shellExecute(const std::string &file, const std::string &parameters, const std::string &workingDirectory,
                  ProcessHandle &process);

// Waits without a time limit for a started process to end; returns at once
// for 0.
void waitForProcess(ProcessHandle process);

// Whether a process started by shellOpen with `started` has ended (it is then
// gone for good); true for 0. Does not wait.
bool processHasEnded(ProcessHandle process);

// Nobody watches the process any more; it is reaped whenever it ends.
void releaseProcess(ProcessHandle process);

enum class RegistryRoot { CurrentUser, LocalMachine };

// True when the key (path with backslashes, e.g. "SOFTWARE\\Adobe\\Acrobat Reader")
// exists and is readable. No value is read.
bool registryKeyExists(RegistryRoot root, const std::string &keyPath);

// A top-level window whose title equals `title` exactly, or 0. Uses a display
// connection of its own, so a worker thread may call it without the toolkit's lock.
WindowHandle findTopLevelWindow(const std::string &title);

// The active window of the desktop, or 0.
WindowHandle foregroundWindow();

// When a display connection is lost on a thread other than the main one, that
// thread runs `onLoss` and then stops for good: only the main thread may end
// the process (and remove what the run made). A loss on the main thread is
// left to the toolkit. Called once the toolkit's display is open.
void handleDisplayLossOffMainThread(void (*onLoss)());

enum class Answer { Yes, No };

// A Yes/No question dialog run by the main loop. Called from a worker thread
// that does not hold the toolkit's lock; waits for the answer. Closing the
// dialog counts as No.
Answer askYesNo(WindowHandle owner, const std::string &text, const std::string &title);

}  // namespace platform
