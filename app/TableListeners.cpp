#include "app/TableListeners.h"

#include "app/GameType.h"
#include "app/MatchLog.h"
#include "app/MatchRecorder.h"
#include "app/SideLog.h"
#include "app/SoundCues.h"
#include "app/SoundEffects.h"
#include "app/Statistics.h"
#include "app/StatisticsForm.h"
#include "app/UndoHistory.h"

TTableListeners::TTableListeners(TGame& game, TSideLog& log, const QString& settingsFile, bool sound,
                                 TAttention::THooks attention)
    : MatchLog(std::make_unique<TMatchLog>([&log](const QString& line) { log.Line(line); })),
      Stats(std::make_unique<TStatistics>(TStatistics::FileBeside(settingsFile), TSideLog::Note)),
      Sounds(std::make_unique<TSoundCues>(nullptr)), History(std::make_unique<TUndoHistory>(game)),
      Attention(std::move(attention)) {
    Stats->Load();
    Recorder = std::make_unique<TMatchRecorder>(
        [this](const TSeats& seats, TMatchResult result, bool undoUsed, bool hintUsed) {
            Stats->Record(GameTypeOf(seats), seats.Level, result, undoUsed, hintUsed);
        });
    Sounds->Enabled = sound;
}

TTableListeners::~TTableListeners() {
    // The cues stop before the device they play on.
    Sounds.reset();
    SoundPlayer.reset();
}

void TTableListeners::Take(const TTableEvent& event) {
    MatchLog->Take(event);
    Recorder->Take(event);
    Sounds->Take(event);
    History->Take(event);
    Attention.Take(event);
}

void TTableListeners::OpenLog() {
    MatchLog->Open();
}

void TTableListeners::StartSound(
    const TDataFolder& data, const std::function<std::unique_ptr<TSoundPlayer>(const TDataFolder&)>& make) {
    SoundPlayer = make ? make(data) : std::make_unique<TSoundEffects>(data, TSideLog::Note);
    Sounds->SetPlayer(SoundPlayer.get());
}

void TTableListeners::SetSound(bool on) {
    Sounds->Enabled = on;
}

void TTableListeners::Cue(TSound sound) {
    Sounds->Cue(sound);
}

void TTableListeners::ShowStatistics(const TSeats& seats, QWidget* parent) {
    TStatisticsForm dialog(*Stats, GameTypeOf(seats), seats.Level, parent);
    dialog.exec();
}

void TTableListeners::NoteHint() {
    Recorder->NoteHint();
}

bool TTableListeners::CanRedo() const {
    return History->CanRedo();
}

void TTableListeners::Undo(int32_t person) {
    QString why;
    if (History->Undo(person, why))
        Recorder->NoteUndo();
    else
        TSideLog::Note(QStringLiteral("Undo: %1.").arg(why));
}

void TTableListeners::Redo() {
    QString why;
    if (!History->Redo(why)) TSideLog::Note(QStringLiteral("Redo: %1.").arg(why));
}
