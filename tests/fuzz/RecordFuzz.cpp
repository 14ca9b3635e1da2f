// libFuzzer target for match records, from a file or from a server: the
// reader must refuse or accept without fault, an accepted record must write
// and read back to itself, and replaying it on a catalogue must either play
// through or name its problem.
#include "ai/RecordReplay.h"
#include "records/RecordCheck.h"
#include "records/RecordJson.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// A catalogue of 110 cards with ranks from a few values, so that Same, Plus
// and drawn deals (Sudden Death replays) come up.
std::vector<TCardValues> Catalogue() {
    std::vector<TCardValues> cards;
    for (int32_t i = 0; i < 110; ++i)
        cards.push_back({{1 + i % 10, 4 + i * 7 % 4, 1 + i * 3 % 10, 5 + i * 5 % 3}, i % 9});
    return cards;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<TCardValues> catalogue = Catalogue();
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const TRecordReading reading = ReadRecordJson(bytes, "fuzz");
    if (!reading.Record) {
        if (reading.Problem.rfind("fuzz: ", 0) != 0) abort();
        return 0;
    }
    if (!RecordProblem(*reading.Record).empty()) abort();
    const TRecordReading again = ReadRecordJson(WriteRecordJson(*reading.Record), "again");
    if (!again.Record || !(*again.Record == *reading.Record)) abort();
    const TReplay replay = ReplayRecord(*reading.Record, catalogue);
    if (replay.Problem.empty() && replay.Positions.size() != reading.Record->Moves.size() + 1) abort();
    return 0;
}
