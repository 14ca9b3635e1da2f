#include "app/RecordKeeper.h"

#include <QMetaObject>
#include <QObject>

TRecordKeeper::TRecordKeeper(QString folder, QObject* context, TFailed failed)
    : History(std::move(folder)), Context(context), Failed(std::move(failed)) {
    Worker = std::thread([this] { Run(); });
}

TRecordKeeper::~TRecordKeeper() {
    {
        std::lock_guard<std::mutex> hold(Lock);
        Stopping = true;
    }
    Changed.notify_all();
    Worker.join();
}

void TRecordKeeper::Add(TMatchRecord record) {
    {
        std::lock_guard<std::mutex> hold(Lock);
        Waiting.push_back(std::move(record));
    }
    Changed.notify_all();
}

void TRecordKeeper::Flush() {
    std::unique_lock<std::mutex> hold(Lock);
    Changed.wait(hold, [this] { return Waiting.empty() && !Writing; });
}

std::vector<TMatchHistory::TEntry> TRecordKeeper::List() {
    Flush();
    return History.List();
}

void TRecordKeeper::Run() {
    std::unique_lock<std::mutex> hold(Lock);
    for (;;) {
        Changed.wait(hold, [this] { return Stopping || !Waiting.empty(); });
        if (Waiting.empty()) return; // stopping with nothing left to write
        TMatchRecord record = std::move(Waiting.front());
        Waiting.pop_front();
        Writing = true;
        hold.unlock();
        // The history's folder and limit never change, so it is read and
        // written here without the lock.
        std::string problem;
        const bool written = History.Add(record, problem);
        hold.lock();
        Writing = false;
        Changed.notify_all();
        if (!written && Failed) {
            const QString line = QString::fromStdString(problem);
            TFailed failed = Failed;
            QMetaObject::invokeMethod(
                Context, [failed, line] { failed(line); }, Qt::QueuedConnection);
        }
    }
}
