// The drawing host as the plug-in sees it: abstract services, value types across the seam.
//
// Threads: every call is made on the host's main thread, except postMessage, the
// background-work counter and the drawing-window calls, which any thread may use.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "qks/host/types.h"

namespace qks::host {

class DrawingServices;  // the drawing half: qks/host/drawing.h

// Version of this interface; a host refuses a plug-in built against another one.
inline constexpr int kHostApiVersion = 2;

// Entry-point message codes.
inline constexpr int kLoadMessage = 1;
inline constexpr int kUnloadMessage = 2;

using CommandFunction = std::function<void()>;

// Called on the main thread for every message posted to the window, in posting order.
using WindowProcedure = std::function<std::intptr_t(WindowHandle window, std::uint32_t message,
                                                    std::uintptr_t wParam, std::intptr_t lParam)>;

struct StartResult {
    bool started = false;
    int errorCode = 0;  // the system's error number when not started
};

class ApplicationServices {
  public:
    virtual ~ApplicationServices() = default;

    // Commands. Names match case-insensitively when typed; a command runs on the main thread
    // as a modal command. False when the name is taken.
    virtual bool addCommand(std::string_view group, std::string_view globalName,
                            std::string_view localName, int flags, CommandFunction function) = 0;
    virtual void removeCommandGroup(std::string_view group) = 0;

    // Console output, shown at once. UTF-8.
    virtual void print(std::string_view text) = 0;

    // Documents.
    virtual DocumentId currentDocument() = 0;
    virtual std::string documentFileName(DocumentId document) = 0;
    // Feeds `text` to the document's command input as if typed (LF ends a command). Runs
    // later, on the main thread, outside the current command.
    virtual bool sendStringToExecute(DocumentId document, std::string_view text, bool activate,
                                     bool wrapUpInactiveDocument, bool echo) = 0;
    // Runs `function` later on the main thread outside any command (it may open, activate
    // and close documents). The function owns whatever it captured.
    virtual bool executeInApplicationContext(std::function<void()> function) = 0;

    // Message windows: the hand-over from worker threads to the main thread.
    virtual WindowHandle createMessageWindow(std::string_view className, std::string_view title,
                                             WindowProcedure procedure) = 0;
    // Any thread. False when the window does not exist.
    virtual bool postMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                             std::intptr_t lParam) = 0;
    virtual bool destroyWindow(WindowHandle window) = 0;

    // Full path of the loaded module that contains `address` (empty if unknown).
    virtual std::string modulePath(const void* address) = 0;

    // Starts a program detached, with `workingFolder` as its working folder and no arguments.
    virtual StartResult startProgram(const std::string& path, const std::string& workingFolder) = 0;

    // Any thread. While the count is above zero a host running without a user keeps running;
    // a nest job holds one from its start until its finish message is posted.
    virtual void beginBackgroundWork() = 0;
    virtual void endBackgroundWork() = 0;

    // The drawing window (the Studio's) stands in for the CAD program's window. While one is
    // attached, a selection prompt is also written to `promptFile` (a ViewPrompt of the
    // contract) and waits for answerPrompt() besides the console, even once the console has
    // ended; the file is removed when the prompt ends. An empty path detaches the window and
    // cancels a prompt waiting for it. Any thread.
    virtual void setDrawingWindow(const std::string& promptFile) = 0;
    // Answers the selection prompt that waits for the drawing window with a selection line (an
    // empty line cancels). False when no prompt waits or `serial` is not the waiting one's.
    // Any thread.
    virtual bool answerPrompt(std::uint64_t serial, std::string_view line) = 0;
};

class Host : public ApplicationServices {
  public:
    // The drawing half; null in a host that has none.
    virtual DrawingServices* drawingServices() = 0;
};

// Holds the host's background-work count up for its lifetime.
class BackgroundWork {
  public:
    explicit BackgroundWork(ApplicationServices* host) : host_(host) {
        if (host_) host_->beginBackgroundWork();
    }
    ~BackgroundWork() { release(); }
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;
    void release() {
        if (host_) host_->endBackgroundWork();
        host_ = nullptr;
    }

  private:
    ApplicationServices* host_;
};

}  // namespace qks::host

// The two exports every plug-in module provides. The host passes itself as the handle.
extern "C" {
typedef int (*QksEntryPointFunction)(int message, void* appHandle);
typedef int (*QksApiVersionFunction)();
}
