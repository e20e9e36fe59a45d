/* A program of someone else's that uses the installed library: estimates
 * each job file named and prints "<run_time_ms> <ticks> <complete>". */
#include <stdio.h>
#include <stdlib.h>

#include <vemtrac/vemtrac.h>

int main(int argc, char** argv)
{
    if (VEMTRAC_API_VERSION < 1 || vemtrac_version()[0] == '\0') {
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        vemtrac_options options;
        vemtrac_options_init(&options);
        vemtrac_result result;
        if (vemtrac_estimate_file(argv[i], &options, &result) != VEMTRAC_SUCCESS ||
            result.outcome != VEMTRAC_OUTCOME_OK) {
            return 1;
        }
        printf("%u %lld %d\n", (unsigned)result.run_time_ms, (long long)result.ticks,
               result.complete);
        char* json = vemtrac_report_json_file(argv[i], "{\"replay\": \"full\"}");
        if (json == NULL) {
            return 1;
        }
        vemtrac_free(json);
    }
    return 0;
}
