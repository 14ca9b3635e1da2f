#pragma once

#include "records/MatchHistory.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class QObject;

// Adds records to the match history on a thread of its own, so that the
// frame a match ends in never waits for the disk. A record that cannot be
// written is reported once, on the window thread. Destroying it writes what
// is still waiting first.
class TRecordKeeper {
public:
    using TFailed = std::function<void(const QString& problem)>;

    // `context`: the window thread's object the failure report is delivered
    // through; it must outlive the keeper.
    TRecordKeeper(QString folder, QObject* context, TFailed failed);
    ~TRecordKeeper();
    TRecordKeeper(const TRecordKeeper&) = delete;
    TRecordKeeper& operator=(const TRecordKeeper&) = delete;

    void Add(TMatchRecord record);
    // Returns once every record added so far has been written (or refused).
    void Flush();
    // The kept records, newest first, with every one added so far.
    std::vector<TMatchHistory::TEntry> List();

private:
    void Run();

    TMatchHistory History;
    QObject* Context;
    TFailed Failed;
    std::mutex Lock;
    std::condition_variable Changed;
    std::deque<TMatchRecord> Waiting;
    bool Writing = false;
    bool Stopping = false;
    std::thread Worker;
};
