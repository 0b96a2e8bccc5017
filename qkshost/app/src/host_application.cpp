#include "qkshost/app/host_application.h"

#include "document_list.h"
#include "drawing_files.h"
#include "plugin_library.h"
#include "qks/common/atomic_file.h"
#include "qks/contract/view_format.h"
#include "qkshost/app/drawing_services.h"
#include "qkshost/dxf/dxf.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <set>

extern char** environ;

namespace qkshost {

using app::canonicalPath;
using qks::host::DocumentId;
using qks::host::WindowHandle;

namespace {

std::string upperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string_view trimBlanks(std::string_view text) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Starts `path` with no arguments in `workingFolder` (kept when empty) and lets it run on its
// own: a thread reaps it whenever it ends, so it never lingers as a zombie.
qks::host::StartResult spawnDetached(const std::string& path, const std::string& workingFolder) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!workingFolder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    std::string program = path;
    char* argv[] = {program.data(), nullptr};
    pid_t pid = 0;
    const int result = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) return {false, result};
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return {true, 0};
}

}  // namespace

// State shared with other threads (input reader, signal thread, workers). Held by
// shared_ptr so a detached reader thread can outlive the application object safely.
class EventQueue {
  public:
    enum class Kind { Message, Function, DocumentText };
    struct Event {
        Kind kind;
        WindowHandle window;
        std::uint32_t message = 0;
        std::uintptr_t wParam = 0;
        std::intptr_t lParam = 0;
        std::function<void()> function;
        DocumentId document;
        std::string text;
    };

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Event> events;
    std::deque<std::string> input;
    bool inputEnded = false;
    bool quit = false;
    // The drawing window: where its prompts are written (empty: none attached), the serial of
    // the last prompt, whether that prompt still waits, and its answer once given.
    std::string promptFile;
    std::uint64_t promptSerial = 0;
    bool windowWaiting = false;
    std::optional<std::string> windowAnswer;
    int background = 0;
    std::set<std::uint64_t> liveWindows;

    void push(Event event) {
        {
            std::lock_guard<std::mutex> guard(mutex);
            events.push_back(std::move(event));
        }
        changed.notify_all();
    }
};

HostApplication::HostApplication()
    : queue_(std::make_shared<EventQueue>()),
      mainThread_(std::this_thread::get_id()),
      documents_(std::make_unique<DocumentList>()),
      drawing_(std::make_unique<HostDrawingServices>(*this)) {}

HostApplication::~HostApplication() {
    unloadAllPlugins();
    documents_->clear();
    std::deque<EventQueue::Event> leftovers;
    {
        std::lock_guard<std::mutex> guard(queue_->mutex);
        leftovers.swap(queue_->events);
        queue_->liveWindows.clear();
    }
}

// ---------------------------------------------------------------- commands and console

bool HostApplication::addCommand(std::string_view group, std::string_view globalName,
                                 std::string_view localName, int flags,
                                 qks::host::CommandFunction function) {
    const std::string key = upperAscii(globalName);
    if (key.empty() || !function || commands_.count(key) != 0) return false;
    commands_[key] = Command{std::string(group), std::string(globalName), std::move(function)};
    return true;
}

void HostApplication::removeCommandGroup(std::string_view group) {
    for (auto it = commands_.begin(); it != commands_.end();) {
        if (it->second.group == group)
            it = commands_.erase(it);
        else
            ++it;
    }
}

void HostApplication::setOutputSink(std::function<void(std::string_view)> sink) {
    sink_ = std::move(sink);
}

void HostApplication::printSkipped(const Document* document, std::string_view what) {
    if (document == nullptr) return;
    const int entities = document->skippedEntitiesOnRead;
    const int others = document->skippedOthersOnRead;
    if (entities <= 0 && others <= 0) return;
    // Entities first: they are what the user will miss in the drawing.
    std::string counts;
    if (entities > 0) counts = std::to_string(entities) + (entities == 1 ? " entity" : " entities");
    if (entities > 0 && others > 0) counts += " and ";
    if (others > 0)
        counts += std::to_string(others) + (entities > 0 ? " other" : "") +
                  (others == 1 ? " object" : " objects");
    print(counts + " this host cannot keep (proxy entities, 3D solids, unknown kinds) " +
          std::string(what) + ".\n");
}

void HostApplication::print(std::string_view text) {
    if (text.empty()) return;
    if (sink_) {
        sink_(text);
    } else {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
    atLineStart_ = text.back() == '\n';
}

void HostApplication::queueInputLine(std::string line) {
    {
        std::lock_guard<std::mutex> guard(queue_->mutex);
        queue_->input.push_back(std::move(line));
    }
    queue_->changed.notify_all();
}

void HostApplication::endInput() {
    {
        std::lock_guard<std::mutex> guard(queue_->mutex);
        queue_->inputEnded = true;
    }
    queue_->changed.notify_all();
}

bool HostApplication::promptForLine(std::string_view prompt, std::string& line, bool window) {
    if (!atLineStart_) print("\n");
    print(prompt);
    std::string promptFile;
    std::uint64_t serial = 0;
    std::unique_lock<std::mutex> lock(queue_->mutex);
    if (window && !queue_->promptFile.empty()) {
        promptFile = queue_->promptFile;
        serial = ++queue_->promptSerial;
        queue_->windowWaiting = true;
        queue_->windowAnswer.reset();
        lock.unlock();
        std::string error;
        if (!qks::writeFileAtomically(
                promptFile, qks::contract::formatViewPrompt({serial, std::string(prompt)}), &error))
            print("\nCannot ask the drawing window: " + error + "\n");
        lock.lock();
    }
    queue_->changed.wait(lock, [&] {
        return !queue_->input.empty() || queue_->windowAnswer.has_value() || queue_->quit ||
               (queue_->inputEnded && !queue_->windowWaiting);
    });
    const bool answered = queue_->windowAnswer.has_value() || !queue_->input.empty();
    if (queue_->windowAnswer) {
        line = std::move(*queue_->windowAnswer);
    } else if (!queue_->input.empty()) {
        line = std::move(queue_->input.front());
        queue_->input.pop_front();
    }
    queue_->windowAnswer.reset();
    queue_->windowWaiting = false;
    lock.unlock();
    if (!promptFile.empty()) ::unlink(promptFile.c_str());
    if (!answered) {
        print("\n");
        return false;
    }
    if (!interactive_) print(line);  // echo, so a scripted session reads like a typed one
    print("\n");
    return true;
}

void HostApplication::setDrawingWindow(const std::string& promptFile) {
    {
        std::lock_guard<std::mutex> guard(queue_->mutex);
        queue_->promptFile = promptFile;
        // A window that goes away cannot answer: its prompt ends as cancelled.
        if (promptFile.empty() && queue_->windowWaiting && !queue_->windowAnswer)
            queue_->windowAnswer = std::string();
    }
    queue_->changed.notify_all();
}

bool HostApplication::answerPrompt(std::uint64_t serial, std::string_view line) {
    {
        std::lock_guard<std::mutex> guard(queue_->mutex);
        if (!queue_->windowWaiting || queue_->windowAnswer || serial != queue_->promptSerial)
            return false;
        queue_->windowAnswer = std::string(line);
    }
    queue_->changed.notify_all();
    return true;
}

std::string HostApplication::takeArgument(const std::string& argument, std::string_view prompt) {
    if (!argument.empty()) return argument;
    std::string line;
    if (!promptForLine(prompt, line)) return {};
    return std::string(trimBlanks(line));
}

void HostApplication::executeCommandLine(std::string_view rawLine) {
    const std::string_view line = trimBlanks(rawLine);
    if (line.empty()) return;
    const auto cut = line.find_first_of(" \t");
    const std::string verb(line.substr(0, cut));
    const std::string rest(cut == std::string_view::npos ? std::string_view()
                                                         : trimBlanks(line.substr(cut + 1)));
    const std::string key = upperAscii(verb);
    try {
        if (!runBuiltin(key, rest)) {
            const auto it = commands_.find(key);
            if (it == commands_.end()) {
                print("Unknown command \"" + verb + "\".\n");
                return;
            }
            // What follows the command name on the same line answers its first prompt.
            if (!rest.empty()) {
                std::lock_guard<std::mutex> guard(queue_->mutex);
                queue_->input.push_front(rest);
            }
            const qks::host::CommandFunction function = it->second.function;
            function();
        }
    } catch (const std::exception& error) {
        print(std::string("\nCommand ") + verb + " failed: " + error.what() + "\n");
    } catch (...) {
        print(std::string("\nCommand ") + verb + " failed.\n");
    }
    if (!atLineStart_) print("\n");
}

bool HostApplication::runBuiltin(const std::string& verb, const std::string& argument) {
    std::string error;
    if (verb == "QUIT" || verb == "EXIT") {
        requestQuit();
    } else if (verb == "APPLOAD") {
        const std::string path = takeArgument(argument, "File to load: ");
        if (path.empty()) return true;
        if (loadPlugin(path, error))
            print("Loaded " + path + ".\n");
        else
            print("Cannot load " + path + ": " + error + "\n");
    } else if (verb == "ARXUNLOAD") {
        const std::string name = takeArgument(argument, "Application to unload: ");
        if (name.empty()) return true;
        if (unloadPlugin(name, error))
            print("Unloaded " + name + ".\n");
        else
            print("Cannot unload " + name + ": " + error + "\n");
    } else if (verb == "NEW") {
        const DocumentId id = newDocument();
        print("New drawing " + documentFileName(id) + ".\n");
    } else if (verb == "OPEN") {
        const std::string path = takeArgument(argument, "File to open: ");
        if (path.empty()) return true;
        if (openDocument(path, error)) {
            print("Opened " + documentFileName(documents_->current()) + ".\n");
            printSkipped(findDocument(documents_->current()), "were skipped");
        } else
            print("Cannot open " + path + ": " + error + "\n");
    } else if (verb == "SAVEAS") {
        const Document* d = findDocument(documents_->current());
        if (d == nullptr) {
            print("No drawing is open.\n");
            return true;
        }
        const std::string path = takeArgument(argument, "File name: ");
        if (path.empty()) return true;
        std::string written, message;
        if (dxf::saveDxf(*d->database, path, &written, &message) == drawing::Status::Ok) {
            print("Saved " + written + ".\n");
            printSkipped(d, "are not in the saved copy");
        } else
            print("Cannot save " + path + ": " + message + "\n");
    } else if (verb == "CLOSE") {
        if (!documents_->current())
            print("No drawing is open.\n");
        else
            closeDocument(documents_->current());
    } else {
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- events

bool HostApplication::sendStringToExecute(DocumentId document, std::string_view text, bool, bool,
                                          bool) {
    if (!document) return false;
    EventQueue::Event event{
        EventQueue::Kind::DocumentText, {}, 0, 0, 0, {}, document, std::string(text)};
    queue_->push(std::move(event));
    return true;
}

bool HostApplication::executeInApplicationContext(std::function<void()> function) {
    if (!function) return false;
    EventQueue::Event event{EventQueue::Kind::Function, {}, 0, 0, 0, std::move(function), {}, {}};
    queue_->push(std::move(event));
    return true;
}

WindowHandle HostApplication::createMessageWindow(std::string_view className,
                                                  std::string_view title,
                                                  qks::host::WindowProcedure procedure) {
    if (className.empty() || !procedure) return {};
    const WindowHandle handle{nextWindow_++};
    windows_[handle.value] =
        Window{std::string(className), std::string(title), std::move(procedure)};
    if (loadingPlugin_ >= 0) windowOwners_[handle.value] = plugins_[loadingPlugin_].path;
    std::lock_guard<std::mutex> guard(queue_->mutex);
    queue_->liveWindows.insert(handle.value);
    return handle;
}

bool HostApplication::postMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                  std::intptr_t lParam) {
    {
        std::lock_guard<std::mutex> guard(queue_->mutex);
        if (queue_->liveWindows.count(window.value) == 0) return false;
        queue_->events.push_back(EventQueue::Event{
            EventQueue::Kind::Message, window, message, wParam, lParam, {}, {}, {}});
    }
    queue_->changed.notify_all();
    return true;
}

bool HostApplication::destroyWindow(WindowHandle window) {
    if (windows_.erase(window.value) == 0) return false;
    windowOwners_.erase(window.value);
    std::lock_guard<std::mutex> guard(queue_->mutex);
    queue_->liveWindows.erase(window.value);
    return true;
}

void HostApplication::dispatchWindowMessage(WindowHandle window, std::uint32_t message,
                                            std::uintptr_t wParam, std::intptr_t lParam) {
    const auto it = windows_.find(window.value);
    if (it == windows_.end()) return;  // destroyed after the post
    const qks::host::WindowProcedure procedure = it->second.procedure;
    procedure(window, message, wParam, lParam);
}

int HostApplication::processPendingEvents() {
    int ran = 0;
    for (;;) {
        EventQueue::Event event;
        {
            std::lock_guard<std::mutex> guard(queue_->mutex);
            if (queue_->events.empty()) break;
            event = std::move(queue_->events.front());
            queue_->events.pop_front();
        }
        ++ran;
        try {
            switch (event.kind) {
                case EventQueue::Kind::Message:
                    dispatchWindowMessage(event.window, event.message, event.wParam, event.lParam);
                    break;
                case EventQueue::Kind::Function:
                    event.function();
                    break;
                case EventQueue::Kind::DocumentText: {
                    if (!event.document || documentFileName(event.document).empty()) break;
                    documents_->setCurrent(event.document);
                    std::string_view text(event.text);
                    while (!text.empty()) {
                        const auto end = text.find('\n');
                        executeCommandLine(text.substr(0, end));
                        if (end == std::string_view::npos) break;
                        text.remove_prefix(end + 1);
                    }
                    break;
                }
            }
        } catch (const std::exception& error) {
            print(std::string("\nA queued task failed: ") + error.what() + "\n");
        } catch (...) {
            print("\nA queued task failed.\n");
        }
    }
    return ran;
}

int HostApplication::processEventsFor(std::chrono::milliseconds timeout) {
    {
        std::unique_lock<std::mutex> lock(queue_->mutex);
        queue_->changed.wait_for(lock, timeout, [&] { return !queue_->events.empty(); });
    }
    return processPendingEvents();
}

int HostApplication::run(bool serve) {
    bool prompted = false;
    for (;;) {
        processPendingEvents();
        std::unique_lock<std::mutex> lock(queue_->mutex);
        if (queue_->quit) break;
        if (!queue_->events.empty()) continue;
        if (!queue_->input.empty()) {
            std::string line = std::move(queue_->input.front());
            queue_->input.pop_front();
            lock.unlock();
            prompted = false;
            if (!interactive_) print("Command: " + line + "\n");
            executeCommandLine(line);
            continue;
        }
        if (!serve && queue_->inputEnded && queue_->background == 0) break;
        if (interactive_ && !queue_->inputEnded && !prompted) {
            lock.unlock();
            if (!atLineStart_) print("\n");
            print("Command: ");
            prompted = true;
            continue;
        }
        queue_->changed.wait(lock);
    }
    return 0;
}

void HostApplication::requestQuit() {
    {
        std::lock_guard<std::mutex> guard(queue_->mutex);
        queue_->quit = true;
    }
    queue_->changed.notify_all();
}

bool HostApplication::quitRequested() const {
    std::lock_guard<std::mutex> guard(queue_->mutex);
    return queue_->quit;
}

void HostApplication::beginBackgroundWork() {
    std::lock_guard<std::mutex> guard(queue_->mutex);
    ++queue_->background;
}

void HostApplication::endBackgroundWork() {
    {
        std::lock_guard<std::mutex> guard(queue_->mutex);
        if (queue_->background > 0) --queue_->background;
    }
    queue_->changed.notify_all();
}

int HostApplication::backgroundWorkCount() const {
    std::lock_guard<std::mutex> guard(queue_->mutex);
    return queue_->background;
}

// ---------------------------------------------------------------- documents

DocumentId HostApplication::currentDocument() {
    return documents_->current();
}

qks::host::DrawingServices* HostApplication::drawingServices() {
    return drawing_.get();
}

std::string HostApplication::documentFileName(DocumentId document) {
    const Document* d = findDocument(document);
    return d ? d->fileName : std::string();
}

Document* HostApplication::findDocument(DocumentId document) {
    return documents_->find(document);
}

bool HostApplication::setCurrentDocument(DocumentId document) {
    return documents_->setCurrent(document);
}

DocumentId HostApplication::newDocument() {
    return documents_->add();
}

DocumentId HostApplication::openDocument(const std::string& path, std::string& error) {
    return documents_->open(path, error);
}

bool HostApplication::closeDocument(DocumentId document) {
    return documents_->close(document);
}

const std::vector<std::unique_ptr<Document>>& HostApplication::documents() const {
    return documents_->all();
}

// ---------------------------------------------------------------- platform services

std::string HostApplication::modulePath(const void* address) {
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
    return canonicalPath(info.dli_fname);
}

qks::host::StartResult HostApplication::startProgram(const std::string& path,
                                                     const std::string& workingFolder) {
    return spawnDetached(path, workingFolder);
}

// ---------------------------------------------------------------- plug-ins

bool HostApplication::loadPlugin(const std::string& path, std::string& error) {
    std::optional<LoadedPlugin> opened = openPluginLibrary(path, plugins_, error);
    if (!opened) return false;
    const std::string canonical = opened->path;
    const QksEntryPointFunction entry = opened->entryPoint;
    plugins_.push_back(std::move(*opened));
    loadingPlugin_ = static_cast<int>(plugins_.size()) - 1;
    std::set<std::string> before;
    for (const auto& c : commands_)
        before.insert(c.first);
    entry(qks::host::kLoadMessage, static_cast<qks::host::Host*>(this));
    for (const auto& c : commands_)
        if (before.count(c.first) == 0) commandOwners_[c.first] = canonical;
    loadingPlugin_ = -1;
    return true;
}

bool HostApplication::unloadPlugin(std::string_view name, std::string& error) {
    const std::string wanted = upperAscii(name);
    auto it = std::find_if(plugins_.begin(), plugins_.end(), [&](const LoadedPlugin& p) {
        const std::string file = upperAscii(p.name);
        const std::string stem = file.substr(0, file.rfind('.'));
        return wanted == file || wanted == stem || wanted == upperAscii(p.path);
    });
    if (it == plugins_.end()) {
        error = "not loaded";
        return false;
    }
    const LoadedPlugin plugin = *it;
    plugin.entryPoint(qks::host::kUnloadMessage, static_cast<qks::host::Host*>(this));
    // Whatever the plug-in left behind runs its code: drop it while the code is still mapped.
    for (auto c = commandOwners_.begin(); c != commandOwners_.end();) {
        if (c->second == plugin.path) {
            commands_.erase(c->first);
            c = commandOwners_.erase(c);
        } else {
            ++c;
        }
    }
    for (auto w = windowOwners_.begin(); w != windowOwners_.end();) {
        if (w->second == plugin.path) {
            windows_.erase(w->first);
            std::lock_guard<std::mutex> guard(queue_->mutex);
            queue_->liveWindows.erase(w->first);
            w = windowOwners_.erase(w);
        } else {
            ++w;
        }
    }
    std::deque<EventQueue::Event> dropped;
    {
        std::lock_guard<std::mutex> guard(queue_->mutex);
        std::deque<EventQueue::Event> kept;
        for (auto& event : queue_->events) {
            const bool deadWindow = event.kind == EventQueue::Kind::Message &&
                                    queue_->liveWindows.count(event.window.value) == 0;
            if (deadWindow || event.kind == EventQueue::Kind::Function)
                dropped.push_back(std::move(event));
            else
                kept.push_back(std::move(event));
        }
        queue_->events.swap(kept);
    }
    dropped.clear();
    plugins_.erase(std::find_if(plugins_.begin(), plugins_.end(),
                                [&](const LoadedPlugin& p) { return p.path == plugin.path; }));
    ::dlclose(plugin.handle);
    return true;
}

void HostApplication::unloadAllPlugins() {
    while (!plugins_.empty()) {
        std::string error;
        unloadPlugin(plugins_.back().path, error);
    }
}

}  // namespace qkshost
