#include "qks/studio/jobfilewatcher.h"

#include <sys/stat.h>
#include <QFile>
#include <QTimer>

#include <algorithm>

namespace qks::studio {

namespace {

// What one look sees of `path`: empty when it does not exist, else its identity, size and time
// of last change to the nanosecond (a file renamed over another one is a new file even when its
// size and time match).
QByteArray stampOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return {};
    return QByteArray::number(static_cast<qulonglong>(info.st_dev)) + ':' +
           QByteArray::number(static_cast<qulonglong>(info.st_ino)) + ':' +
           QByteArray::number(static_cast<qlonglong>(info.st_size)) + ':' +
           QByteArray::number(static_cast<qlonglong>(info.st_mtim.tv_sec)) + '.' +
           QByteArray::number(static_cast<qlonglong>(info.st_mtim.tv_nsec)) + ':' +
           QByteArray::number(static_cast<qlonglong>(info.st_ctim.tv_sec)) + '.' +
           QByteArray::number(static_cast<qlonglong>(info.st_ctim.tv_nsec));
}

}  // namespace

JobFileWatcher::JobFileWatcher(QObject* parent, int intervalMs)
    : QObject(parent), timer_(new QTimer(this)) {
    timer_->setInterval(intervalMs);
    connect(timer_, &QTimer::timeout, this, &JobFileWatcher::check);
}

void JobFileWatcher::subscribe(const QStringList& paths, QObject* receiver, OnChange onChange) {
    for (const QString& path : paths) {
        auto found = watched_.find(path);
        if (found == watched_.end()) found = watched_.insert(path, Watched{stampOf(path), 0});
        ++found->subscribers;
    }
    const bool known =
        std::any_of(subscriptions_.begin(), subscriptions_.end(),
                    [receiver](const Subscription& s) { return s.receiver == receiver; });
    if (!known)
        connect(receiver, &QObject::destroyed, this, [this, receiver] { unsubscribe(receiver); });
    subscriptions_.push_back({receiver, paths, std::move(onChange)});
    if (!timer_->isActive()) timer_->start();
}

void JobFileWatcher::unsubscribe(QObject* receiver) {
    const auto mine = [receiver](const Subscription& s) { return s.receiver == receiver; };
    for (const Subscription& s : subscriptions_)
        if (mine(s)) release(s.paths);
    subscriptions_.erase(std::remove_if(subscriptions_.begin(), subscriptions_.end(), mine),
                         subscriptions_.end());
    disconnect(receiver, &QObject::destroyed, this, nullptr);
    if (subscriptions_.empty()) timer_->stop();
}

void JobFileWatcher::release(const QStringList& paths) {
    for (const QString& path : paths) {
        auto found = watched_.find(path);
        if (found != watched_.end() && --found->subscribers <= 0) watched_.erase(found);
    }
}

bool JobFileWatcher::watching(const QString& path) const {
    return watched_.contains(path);
}

void JobFileWatcher::check() {
    QStringList changedPaths;
    for (auto it = watched_.begin(); it != watched_.end(); ++it) {
        QByteArray stamp = stampOf(it.key());
        if (stamp == it->stamp) continue;
        it->stamp = std::move(stamp);
        changedPaths << it.key();
    }
    for (const QString& path : changedPaths) {
        emit changed(path);
        // A subscriber may subscribe or unsubscribe while it hears: walk a copy, and skip
        // whoever left meanwhile.
        const std::vector<Subscription> subscriptions = subscriptions_;
        for (const Subscription& s : subscriptions) {
            if (!s.paths.contains(path)) continue;
            const bool still = std::any_of(
                subscriptions_.begin(), subscriptions_.end(), [&s](const Subscription& now) {
                    return now.receiver == s.receiver && now.paths == s.paths;
                });
            if (still) s.onChange(path);
        }
    }
}

}  // namespace qks::studio
