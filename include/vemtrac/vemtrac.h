/*
 * vemtrac: how long a laser cutter/engraver job will run, as a library.
 *
 * The job is replayed through the machine's own motion control, tick by
 * tick (one servo tick is 0.4 ms); the estimate is exact and the same on
 * every run and every host. Plain C, usable from any language with a
 * foreign-function interface.
 *
 * Threads: calls from any number of threads run at once, with no lock
 * between them. Each thread that calls the library runs its jobs on a
 * machine of its own (the machine's whole state, made on the thread's
 * first call and freed when the thread ends), so two estimates never wait
 * for each other and each comes out exactly as it would alone. Two calls
 * on one thread run one after the other, as any two calls do.
 *
 * Every call starts from the machine's power-on state. Nothing is thrown
 * or aborted across these functions, whatever the input; nothing is
 * written to the process's standard output or standard error.
 */
#ifndef VEMTRAC_VEMTRAC_H
#define VEMTRAC_VEMTRAC_H

#include <stddef.h>
#include <stdint.h>

/* The version of this interface; it grows when the interface does. */
#define VEMTRAC_API_VERSION 3

#if defined(_WIN32) && !defined(VEMTRAC_STATIC)
#if defined(VEMTRAC_BUILDING_LIBRARY)
#define VEMTRAC_API __declspec(dllexport)
#else
#define VEMTRAC_API __declspec(dllimport)
#endif
#elif defined(VEMTRAC_BUILDING_LIBRARY) && defined(__GNUC__)
#define VEMTRAC_API __attribute__((visibility("default")))
#else
#define VEMTRAC_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The library's version, e.g. "1.0.0". */
VEMTRAC_API const char* vemtrac_version(void);

/*
 * Estimates the job given as the bytes of a job file (job may be NULL when
 * job_len is 0: an empty job) and returns a newly allocated, NUL-terminated
 * UTF-8 JSON object: the same object as one element of "jobs" in
 * "vemtrac --report --json" ("job", "result", "complete", "stopped_at",
 * "run_time_ms", "run_time", "ticks", "phases", "activities", ...).
 *
 * options_json is NULL or a JSON object with any of
 *   "replay": "fast" (the default run), "full" or "literal" (the reference,
 *             every tick through the servo interrupt); the same figures
 *             every way, "fast" is the quickest;
 *   "tick_limit": the most servo ticks the job may run (a non-negative
 *             integer; a job that runs longer is cut short there), or null;
 *   "job": the name the object's "job" holds (default "");
 *   "set": settings the job runs at in place of its own, an object of
 *             integers keyed by a job-file keyword that sets one value
 *             ("RasterSpeedX", "RasterSpeedY", "RasterBandingFree", ...) or
 *             "VectorSpeed.N" for pen N's speed code (N 1..16):
 *             {"RasterSpeedX": 800, "VectorSpeed.4": 500}. The job runs as
 *             if an entry "KEY VALUE" stood before its first entry and every
 *             entry of its own setting KEY set VALUE instead; the object's
 *             "overrides" says which were applied (since API 2);
 *   "rate": an amount per hour of machine time (a non-negative number):
 *             the object's "cost" is (run time in hours + setup in hours)
 *             x rate, two decimals (since API 2);
 *   "setup_minutes": the setup of the job, priced at the rate (default 0);
 *   "import": how a design is imported, as for vemtrac_import_json
 *             (since API 3).
 * The bytes may also be a design (an SVG, DXF, HPGL plot file, PNG or
 * JPEG, told from its content; a job file is always run as one): it is
 * imported as vemtrac_import_json would, and the job it gives is estimated,
 * the import's warnings first among the object's "warnings"; its
 * "pass_times" lists each pen cut more than once with the time one pass of
 * it adds ("ms", "ticks": the estimate less that of the job with one pass
 * of the pen fewer), one more run of the job per such pen (since API 3).
 * A design that cannot be imported gives "result" "unreadable" with a
 * "reason".
 * A bad job is a result ("result" "refused", or "complete" false with
 * "stopped_at"); bad options give {"result": "error", "reason": ...}.
 * Returns NULL only when memory runs out. Free the text with vemtrac_free.
 */
VEMTRAC_API char* vemtrac_report_json(const char* job, size_t job_len, const char* options_json);

/* The same for a job file given by its path; "job" defaults to the path. A
 * file that cannot be read gives "result" "unreadable" with a "reason". */
VEMTRAC_API char* vemtrac_report_json_file(const char* path, const char* options_json);

/*
 * Runs the job once as written and once for each of the count values of
 * the setting key ("RasterSpeedX", "VectorSpeed.4", ...; at most 1001
 * values, each checked as "set" checks it), each run from power-on, and
 * returns the JSON object "vemtrac --report --json --sweep" prints:
 * {"sweep": {"key", "job", "points": [{"value", "run_time_ms", "run_time",
 * "ticks", "complete"}, ...], "as_written": ...}}, the points in the order
 * of values. options_json is as for vemtrac_report_json ("set" holds for
 * every run; with a "rate" every run has its "cost"), plus "fit_ms": a slot
 * in milliseconds, each run then saying whether it "fits". A bad key, value or option gives
 * {"result": "error", "reason": ...}; NULL only when memory runs out. values may be NULL when count
 * is 0 (an error: a sweep needs a value). Since API 2.
 */
VEMTRAC_API char* vemtrac_sweep_json(const char* job, size_t job_len, const char* key,
                                     const int64_t* values, size_t count,
                                     const char* options_json);

/*
 * Turns a design (the bytes of an SVG, DXF, HPGL plot file, PNG or JPEG)
 * into the bytes of a job file. name is the design's file name or NULL
 * (its extension is only a hint; it names the design in messages).
 * settings_json is NULL or a JSON object of the import's settings:
 * "format", "tolerance", "order", "pens" ({"#ff0000": 2}), "speed"
 * ({"1": 20}, mm/s), "speed_code", "passes", "raster_speed",
 * "raster_speed_code", "one_way", "at" ([x, y], mm), "lpi", "lpi_round",
 * "dpi", "image_dpi", "keep_blank". Returns a newly allocated JSON object:
 * {"result": "ok", "summary": {...}} with *job (newly allocated, free it
 * with vemtrac_free) and *job_len set, or {"result": "error", "reason":
 * ...} with *job NULL. NULL only when memory runs out. Since API 3.
 */
VEMTRAC_API char* vemtrac_import_json(const char* design, size_t design_len, const char* name,
                                      const char* settings_json, char** job, size_t* job_len);

/* Frees what the library returned. NULL is allowed. */
VEMTRAC_API void vemtrac_free(void* p);

/* How the ticks are run; every way gives the same figures. */
typedef enum vemtrac_replay {
    VEMTRAC_REPLAY_FAST = 0,   /* the default run: runs of alike ticks in one step */
    VEMTRAC_REPLAY_FULL = 1,   /* every tick with the position loop */
    VEMTRAC_REPLAY_LITERAL = 2 /* every tick through the servo interrupt: the reference */
} vemtrac_replay;

/* The two kinds of text a job writes. */
typedef enum vemtrac_stream {
    VEMTRAC_STREAM_CONSOLE = 0,   /* the machine's console lines (and trace lines) */
    VEMTRAC_STREAM_DIAGNOSTIC = 1 /* "vemtrac: ..." lines about bad entries and limits */
} vemtrac_stream;

/* Receives the job's text as it is written: each call one line or a piece
 * of one (not NUL-terminated); joined, a stream's calls are its bytes. It
 * runs on the calling thread, inside the estimate, and must return
 * normally (no exception, no longjmp). */
typedef void (*vemtrac_console_fn)(void* context, vemtrac_stream stream, const char* text,
                                   size_t len);

/* One setting the job runs at in place of its own: key and value as in
 * the "set" object of vemtrac_report_json. */
typedef struct vemtrac_setting {
    const char* key;
    int64_t value;
} vemtrac_setting;

/* A caller built against API 1 passes the options without the fields
 * marked "API 2"; api_version tells the library which fields are there. */
typedef struct vemtrac_options {
    int api_version;              /* VEMTRAC_API_VERSION, set by vemtrac_options_init;
                                     one the library does not know is an error */
    vemtrac_replay replay;        /* default VEMTRAC_REPLAY_FAST */
    uint64_t tick_limit;          /* most servo ticks the job may run (0: no limit of
                                     the caller's; a longer job is cut short there) */
    const char* trace_categories; /* trace categories to switch on, comma-separated
                                     ("ShowJobTime,DeltaMove"), or NULL; a name that
                                     is none is an error */
    vemtrac_console_fn console;   /* NULL: the job's text is dropped */
    void* console_context;        /* handed to console */
    const vemtrac_setting* settings; /* API 2: settings_count settings, or NULL */
    size_t settings_count;           /* API 2: a later value for a key replaces an earlier */
} vemtrac_options;

/* Sets the options of the given API version to their defaults: only the
 * fields that version has are written, and api_version is set to it. */
VEMTRAC_API void vemtrac_options_init_version(vemtrac_options* options, int api_version);

/* Sets the options to their defaults. The function of this name (the one a
 * program built against API 1 calls, or a foreign-function interface finds)
 * writes the fields of API 1 only; from C and C++ the name is the call
 * above with this header's version. */
VEMTRAC_API void vemtrac_options_init(vemtrac_options* options);
#define vemtrac_options_init(options) \
    vemtrac_options_init_version((options), VEMTRAC_API_VERSION)

/* How the job came out. */
typedef enum vemtrac_outcome {
    VEMTRAC_OUTCOME_OK = 0,        /* estimated (perhaps cut short: see complete) */
    VEMTRAC_OUTCOME_REFUSED = 1,   /* the job file's version is not 1: no estimate */
    VEMTRAC_OUTCOME_UNREADABLE = 2 /* the job file could not be read: see reason */
} vemtrac_outcome;

typedef struct vemtrac_result {
    vemtrac_outcome outcome;
    int complete;               /* 1 when every entry ran, 0 when the job stopped early */
    uint32_t run_time_ms;       /* the estimate, ms (the status file's figure); 0 unless OK */
    int64_t ticks;              /* servo ticks from the first departure to the last stop */
    int32_t stopped_entry;      /* the entry where reading stopped (1-based), 0 when complete */
    char stopped_keyword[1048]; /* its keyword, bytes outside printable ASCII as \xNN */
    char reason[512];           /* why it stopped, or why the file is unreadable (cut to fit) */
} vemtrac_result;

/* Return values of vemtrac_estimate and vemtrac_estimate_file. */
#define VEMTRAC_SUCCESS 0         /* *result holds the outcome */
#define VEMTRAC_ERROR_ARGUMENT -1 /* a NULL result, a NULL job with a length, bad options */
#define VEMTRAC_ERROR_MEMORY -2   /* memory ran out */
#define VEMTRAC_ERROR_INTERNAL -3 /* anything else went wrong inside the library */

/* Estimates the job given as the bytes of a job file, or a design imported
 * with the default settings (since API 3). options may be NULL
 * (the defaults). Returns VEMTRAC_SUCCESS with *result filled, or an error
 * (*result then says nothing, but for a bad setting, an api_version this
 * library does not know or a trace category it does not have:
 * VEMTRAC_ERROR_ARGUMENT with result->reason saying which). */
VEMTRAC_API int vemtrac_estimate(const char* job, size_t job_len, const vemtrac_options* options,
                                 vemtrac_result* result);

/* The same for a job file given by its path. */
VEMTRAC_API int vemtrac_estimate_file(const char* path, const vemtrac_options* options,
                                      vemtrac_result* result);

#ifdef __cplusplus
}
#endif

#endif /* VEMTRAC_VEMTRAC_H */
