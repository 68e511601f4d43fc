/* See Floor.h. Nothing here is shared with the client layer it measures. */
#include "Floor.h"

#include <ibase.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static double now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec * 1000.0 + (double)t.tv_nsec / 1e6;
}

static int fail(struct floor_run* run, const ISC_STATUS* status)
{
    const ISC_STATUS* p = status;
    char line[256];
    run->error[0] = 0;
    while (fb_interpret(line, sizeof line, &p) > 0) {
        if (run->error[0]) strncat(run->error, "; ", sizeof run->error - strlen(run->error) - 1);
        strncat(run->error, line, sizeof run->error - strlen(run->error) - 1);
    }
    return -1;
}

static XSQLDA* sqlda(int n)
{
    XSQLDA* d = (XSQLDA*)calloc(1, XSQLDA_LENGTH(n < 1 ? 1 : n));
    d->version = SQLDA_VERSION1;
    d->sqln = (short)(n < 1 ? 1 : n);
    return d;
}

static void add_param(char* dpb, int* at, char tag, const char* value)
{
    const size_t n = strlen(value);
    dpb[(*at)++] = tag;
    dpb[(*at)++] = (char)n;
    memcpy(dpb + *at, value, n);
    *at += (int)n;
}

/* Prepares, executes and fetches one statement in tr; adds its rows. */
static int fetch_all(isc_db_handle* db, isc_tr_handle* tr, const char* sql, struct floor_run* run)
{
    ISC_STATUS_ARRAY st;
    isc_stmt_handle stmt = 0;
    XSQLDA* out = sqlda(32);
    char* buffers = NULL;
    short* nulls = NULL;
    int result = 0;
    if (isc_dsql_allocate_statement(st, db, &stmt) || isc_dsql_prepare(st, tr, &stmt, 0, sql, 1, out)) {
        free(out);
        return fail(run, st);
    }
    if (out->sqld > out->sqln) {
        const int n = out->sqld;
        free(out);
        out = sqlda(n);
        if (isc_dsql_describe(st, &stmt, 1, out)) {
            result = fail(run, st);
            goto done;
        }
    }
    {
        /* Each column's buffer: its length, two more for a VARCHAR's count, aligned to 8. */
        const int columns = out->sqld > 0 ? out->sqld : 1;
        size_t size = 0;
        for (int i = 0; i < out->sqld; ++i) size += ((size_t)(unsigned short)out->sqlvar[i].sqllen + 2 + 7) / 8 * 8;
        buffers = (char*)malloc(size + 8);
        nulls = (short*)calloc((size_t)columns, sizeof(short));
        size = 0;
        for (int i = 0; i < out->sqld; ++i) {
            out->sqlvar[i].sqldata = buffers + size;
            out->sqlvar[i].sqlind = &nulls[i];
            size += ((size_t)(unsigned short)out->sqlvar[i].sqllen + 2 + 7) / 8 * 8;
        }
    }
    if (isc_dsql_execute(st, tr, &stmt, 1, NULL)) {
        result = fail(run, st);
        goto done;
    }
    for (;;) {
        const ISC_STATUS r = isc_dsql_fetch(st, &stmt, 1, out);
        if (r == 100) break;
        if (r != 0) {
            result = fail(run, st);
            goto done;
        }
        ++run->rows;
    }
done:
    isc_dsql_free_statement(st, &stmt, DSQL_drop);
    free(buffers);
    free(nulls);
    free(out);
    return result;
}

int floor_fetch(const char* path, const char* user, const char* password, const char* charset,
                const char* const* statements, int count, struct floor_run* run)
{
    ISC_STATUS_ARRAY st;
    isc_db_handle db = 0;
    isc_tr_handle tr = 0;
    static char tpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed, isc_tpb_rec_version,
                         isc_tpb_nowait};
    char dpb[512];
    int n = 0;
    double start;
    run->ms = 0;
    run->rows = 0;
    run->error[0] = 0;
    dpb[n++] = isc_dpb_version1;
    if (user && *user) add_param(dpb, &n, isc_dpb_user_name, user);
    if (password && *password) add_param(dpb, &n, isc_dpb_password, password);
    add_param(dpb, &n, isc_dpb_lc_ctype, charset);
    dpb[n++] = isc_dpb_sql_dialect;
    dpb[n++] = 4;
    dpb[n++] = 1;
    dpb[n++] = 0;
    dpb[n++] = 0;
    dpb[n++] = 0;
    if (isc_attach_database(st, 0, path, &db, (short)n, dpb)) return fail(run, st);

    start = now_ms();
    if (isc_start_transaction(st, &tr, 1, &db, (unsigned short)sizeof tpb, tpb)) {
        fail(run, st);
        isc_detach_database(st, &db);
        return -1;
    }
    for (int i = 0; i < count; ++i)
        if (fetch_all(&db, &tr, statements[i], run) != 0) {
            ISC_STATUS_ARRAY st2;
            isc_rollback_transaction(st2, &tr);
            isc_detach_database(st2, &db);
            return -1;
        }
    if (isc_commit_transaction(st, &tr)) {
        fail(run, st);
        isc_detach_database(st, &db);
        return -1;
    }
    run->ms = now_ms() - start;
    isc_detach_database(st, &db);
    return 0;
}
