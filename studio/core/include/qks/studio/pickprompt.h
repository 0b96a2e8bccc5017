#pragma once
// The host's selection prompt as the drawing window answers it. While a command waits for a
// selection the host keeps the prompt file (contract::kViewPromptFile) with the prompt's serial;
// the window answers "SELECT <serial> <selection line>" over the bridge (no line cancels) and
// the host removes the file. Lives on the GUI thread with the bridge client.

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace qks::studio {

class BridgeClient;

// The selection line the host's prompt takes for these handles ("H 1A 2B"); empty for none.
QString selectionLine(const QStringList& handles);

class PickPrompt : public QObject {
    Q_OBJECT
  public:
    // `bridge` (not owned, may be nullptr: never connected) carries the answers.
    explicit PickPrompt(BridgeClient* bridge, QObject* parent = nullptr);

    bool asking() const { return asking_; }

    // Reads the prompt file when it changed: started() when the host asks for a selection,
    // ended() when it no longer does.
    void poll();

    // Answers the open prompt with `handles` (confirmed) or cancels it; the prompt ends at once
    // (ended()). False, with nothing sent and the prompt kept, when no prompt is open or the link
    // is down. A reply other than "OK" comes back as a warning line for the log.
    bool answer(bool confirmed, const QStringList& handles);

  signals:
    void started();
    void ended();
    void warning(const QString& line);

  private:
    BridgeClient* bridge_;
    QString signature_;  // of the prompt file last read
    std::uint64_t serial_ = 0;
    bool asking_ = false;
};

}  // namespace qks::studio
