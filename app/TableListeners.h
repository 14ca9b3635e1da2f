#pragma once

#include "app/Attention.h"
#include "app/Sound.h"
#include "game/TableEvent.h"

#include <QString>
#include <functional>
#include <memory>

class QWidget;
class TDataFolder;
class TGame;
class TMatchLog;
class TMatchRecorder;
class TSideLog;
class TSoundCues;
class TStatistics;
class TUndoHistory;

// Everyone around the table who hears what happens at it: the log, the
// statistics, the sounds, the undo history and the call back to the window.
class TTableListeners {
public:
    // `settingsFile`: the statistics are kept beside it; `sound`: whether the table is heard.
    TTableListeners(TGame& game, TSideLog& log, const QString& settingsFile, bool sound,
                    TAttention::THooks attention);
    ~TTableListeners();

    void Take(const TTableEvent& event);
    // The log's first line, before anything was dealt.
    void OpenLog();
    // The sound device, once Data/ is found: `make` when given, else the machine's.
    void StartSound(const TDataFolder& data,
                    const std::function<std::unique_ptr<TSoundPlayer>(const TDataFolder&)>& make);
    void SetSound(bool on);
    void Cue(TSound sound);

    TStatistics& Statistics() { return *Stats; }
    // The statistics window, opened on the kind of match `seats` is.
    void ShowStatistics(const TSeats& seats, QWidget* parent);
    // Help › Hint was answered for the match on the table.
    void NoteHint();

    bool CanRedo() const;
    // Takes placements back to the last time `person` was to move (-1: any
    // player), or puts one back; says why not in the log.
    void Undo(int32_t person);
    void Redo();

private:
    std::unique_ptr<TMatchLog> MatchLog;
    std::unique_ptr<TStatistics> Stats;
    std::unique_ptr<TMatchRecorder> Recorder;
    std::unique_ptr<TSoundPlayer> SoundPlayer;
    std::unique_ptr<TSoundCues> Sounds;
    std::unique_ptr<TUndoHistory> History;
    TAttention Attention;
};
