// How a machine routine says that the entry being executed cannot be
// executed (a pen the tables do not hold, an image without its
// resolutions): the job ends after that entry, as the interpreter ends it at
// an entry it does not understand, and what was queued before still runs.
#pragma once

// Whether a routine asked for the job to end at the current entry, and why
// (the first reason given), with the power-on values.
struct JobStopState {
    bool stop_asked = false;
    char stop_reason[160] = {};
};

// A machine's request to end the job at the current entry.
struct JobStop : JobStopState {
    // Asks for the job to end after the current entry, for the reason given
    // (the first reason asked for is kept).
    void job_stop_at_entry(const char* reason);

    // The reason asked for since the last clear, or null when there is none.
    const char* job_stop_reason() const { return stop_asked ? stop_reason : nullptr; }

    // Forgets the reason; done at the start of every job.
    void job_stop_clear() { static_cast<JobStopState&>(*this) = JobStopState{}; }
};
