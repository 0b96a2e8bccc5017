// qkshost's application: the main-thread loop, the console, commands, message windows,
// documents and the plug-in loader behind the plug-in's host interface.
//
// Threads: everything runs on the thread that constructed the object (the main thread),
// except queueInputLine, endInput, requestQuit, postMessage and the background-work counter,
// which are safe from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "qks/host/host.h"
#include "qkshost/drawing/database.h"

namespace qkshost {

class EventQueue;
class DocumentList;
class HostDrawingServices;

struct LoadedPlugin {
    std::string path;  // canonical
    std::string name;  // file name, e.g. "libqks.so"
    void* handle = nullptr;
    QksEntryPointFunction entryPoint = nullptr;
};

struct Document {
    qks::host::DocumentId id;
    std::string fileName;  // absolute for drawings read from files; "DrawingN.dwg" for new ones
    std::unique_ptr<drawing::Database> database;
    int locks = 0;
    // What the reader could not keep, said again when the drawing is saved.
    int skippedEntitiesOnRead = 0;
    int skippedOthersOnRead = 0;
};

class HostApplication final : public qks::host::Host {
  public:
    HostApplication();
    ~HostApplication() override;
    HostApplication(const HostApplication&) = delete;
    HostApplication& operator=(const HostApplication&) = delete;

    // --- qks::host::ApplicationServices
    bool addCommand(std::string_view group, std::string_view globalName, std::string_view localName,
                    int flags, qks::host::CommandFunction function) override;
    void removeCommandGroup(std::string_view group) override;
    void print(std::string_view text) override;
    qks::host::DocumentId currentDocument() override;
    std::string documentFileName(qks::host::DocumentId document) override;
    bool sendStringToExecute(qks::host::DocumentId document, std::string_view text, bool activate,
                             bool wrapUpInactiveDocument, bool echo) override;
    bool executeInApplicationContext(std::function<void()> function) override;
    qks::host::WindowHandle createMessageWindow(std::string_view className, std::string_view title,
                                                qks::host::WindowProcedure procedure) override;
    bool postMessage(qks::host::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                     std::intptr_t lParam) override;
    bool destroyWindow(qks::host::WindowHandle window) override;
    std::string modulePath(const void* address) override;
    qks::host::StartResult startProgram(const std::string& path,
                                        const std::string& workingFolder) override;
    void beginBackgroundWork() override;
    void endBackgroundWork() override;
    void setDrawingWindow(const std::string& promptFile) override;
    bool answerPrompt(std::uint64_t serial, std::string_view line) override;
    qks::host::DrawingServices* drawingServices() override;

    // --- Console output goes to stdout unless a sink is set (tests capture it).
    void setOutputSink(std::function<void(std::string_view)> sink);

    // --- Console input. Lines are consumed in order by the loop (as commands) and by prompts.
    void queueInputLine(std::string line);  // any thread
    void endInput();                        // any thread: no more lines will come
    // Main thread, inside a command: prints `prompt`, waits for the next line. False when
    // input has ended (the caller treats it as a cancel). With `window`, an attached drawing
    // window is asked too (setDrawingWindow) and the first answer from either side counts.
    bool promptForLine(std::string_view prompt, std::string& line, bool window = false);
    void setInteractive(bool interactive) { interactive_ = interactive; }

    // Runs one console line now: a built-in or a registered command (case-insensitive).
    void executeCommandLine(std::string_view line);

    // --- Loop.
    // Runs queued messages, application-context functions and document strings, oldest
    // first, until none is left. Returns how many ran.
    int processPendingEvents();
    // Waits up to `timeout` for an event and processes what is queued. For tests.
    int processEventsFor(std::chrono::milliseconds timeout);
    // The main loop. Without `serve` it returns once input has ended and no work is left;
    // with `serve` it runs until QUIT or requestQuit(). Returns the exit status.
    int run(bool serve);
    void requestQuit();  // any thread (signal thread)
    bool quitRequested() const;

    // --- Plug-ins.
    bool loadPlugin(const std::string& path, std::string& error);
    bool unloadPlugin(std::string_view name, std::string& error);
    void unloadAllPlugins();
    const std::vector<LoadedPlugin>& plugins() const { return plugins_; }

    // --- Documents. Opening reads the drawing; a drawing already open becomes current.
    qks::host::DocumentId newDocument();
    qks::host::DocumentId openDocument(const std::string& path, std::string& error);
    bool closeDocument(qks::host::DocumentId document);
    bool setCurrentDocument(qks::host::DocumentId document);
    Document* findDocument(qks::host::DocumentId document);
    const std::vector<std::unique_ptr<Document>>& documents() const;
    HostDrawingServices& drawing() { return *drawing_; }

    bool isMainThread() const { return std::this_thread::get_id() == mainThread_; }
    int backgroundWorkCount() const;

  private:
    // Says on the console how many objects the reader of the document could not keep.
    void printSkipped(const Document* document, std::string_view what);
    struct Command {
        std::string group;
        std::string name;
        qks::host::CommandFunction function;
    };
    struct Window {
        std::string className;
        std::string title;
        qks::host::WindowProcedure procedure;
    };

    bool runBuiltin(const std::string& verb, const std::string& argument);
    void dispatchWindowMessage(qks::host::WindowHandle window, std::uint32_t message,
                               std::uintptr_t wParam, std::intptr_t lParam);
    std::string takeArgument(const std::string& argument, std::string_view prompt);

    std::shared_ptr<EventQueue> queue_;
    std::thread::id mainThread_;
    std::map<std::string, Command> commands_;  // key: upper-case name
    std::map<std::uint64_t, Window> windows_;
    std::uint64_t nextWindow_ = 1;
    std::vector<LoadedPlugin> plugins_;
    std::unique_ptr<DocumentList> documents_;
    std::unique_ptr<HostDrawingServices> drawing_;
    std::function<void(std::string_view)> sink_;
    bool interactive_ = false;
    bool atLineStart_ = true;
    int loadingPlugin_ = -1;                             // index while its entry point loads
    std::map<std::string, std::string> commandOwners_;   // command key -> plug-in path
    std::map<std::uint64_t, std::string> windowOwners_;  // window -> plug-in path
};

}  // namespace qkshost
