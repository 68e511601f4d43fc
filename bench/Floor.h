/* The floor of a fetch: a bare isc_dsql_fetch loop in plain C over a statement,
   timed from after the attach, as the benchmarks time our client. */
#ifndef BRONTAL_BENCH_FLOOR_H
#define BRONTAL_BENCH_FLOOR_H

#ifdef __cplusplus
extern "C" {
#endif

struct floor_run {
    double ms;          /* start of the transaction to its commit */
    long rows;          /* fetched over all the statements */
    char error[512];    /* the engine's text when the run failed */
};

/* Attaches to path (dialect 1, the given lc_ctype), then in one read-committed
   transaction prepares, executes and fetches each statement to its end without
   looking at the rows, commits and detaches. Returns 0, or -1 with error set. */
int floor_fetch(const char* path, const char* user, const char* password, const char* charset,
                const char* const* statements, int count, struct floor_run* run);

#ifdef __cplusplus
}
#endif

#endif
