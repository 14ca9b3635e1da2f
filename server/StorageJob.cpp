#include "server/StorageJob.h"

#include <chrono>

namespace {

template <typename TWork> double SecondsOf(TWork&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The writes in [first, last) in one transaction, else each alone.
void StoreWrites(TStorage& storage, TStorageJob* first, TStorageJob* last, bool timed) {
    auto took = [timed](TStorageJob& job, double seconds) {
        // A batch that failed counts to the time of each write stored after it.
        if (timed) job.Seconds = job.Seconds.value_or(0) + seconds;
    };
    // A match's end is several statements: alone it goes as a batch too, so
    // that a storage that sends a batch's statements together does so for it.
    const TStorage::TWrite& one = first->Write;
    if (last - first > 1 || one.Last || one.Kind == TStorage::TWrite::TKind::Finish) {
        std::vector<TStorage::TWrite> writes;
        writes.reserve(size_t(last - first));
        for (TStorageJob* job = first; job != last; ++job) writes.push_back(job->Write);
        bool stored = false;
        const double seconds = SecondsOf([&] { stored = storage.AddWrites(writes); });
        for (TStorageJob* job = first; job != last; ++job) {
            took(*job, seconds);
            if (stored) job->Write = writes[size_t(job - first)];
        }
        if (stored) return;
    }
    for (TStorageJob* job = first; job != last; ++job) {
        took(*job, SecondsOf([&] { storage.AddOne(job->Write); }));
        if (job->Write.Result != TStorage::TMoveResult::Stored) job->Error = storage.LastError();
    }
}

} // namespace

void RunStorageJobs(TStorage& storage, std::vector<TStorageJob>& jobs, bool timed) {
    TStorageJob* const end = jobs.data() + jobs.size();
    for (TStorageJob* job = jobs.data(); job != end;) {
        if (!job->IsWrite()) {
            const double seconds = SecondsOf([&] { job->Work(storage); });
            if (timed) job->Seconds = seconds;
            ++job;
            continue;
        }
        TStorageJob* writes = job;
        while (job != end && job->IsWrite()) ++job;
        StoreWrites(storage, writes, job, timed);
    }
}
