/* The second master of tools/bench/modbus-speed.sh, on Debian's libmodbus: fn 0x03 reads of one
 * holding register (address 1000, unit 123) against a server on 127.0.0.1, each timed.
 *   libmodbus_client PORT back-to-back N        N reads on one connection, each sent as soon as the
 *                                               previous reply is in
 *   libmodbus_client PORT parallel C N          C connections at once, N reads back to back on each
 *   libmodbus_client PORT connect-per-read N    N times: connect, one read, close; each timed from
 *                                               the connect to the reply
 * Prints one JSON object: reads, p50_ms, p99_ms, max_ms, reads_per_s. A read that fails ends the
 * run with exit status 1. */
#include <errno.h>
#include <modbus.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

enum { kUnit = 123, kAddress = 1000 };

static double now_s(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static modbus_t *connect_to(int port) {
    modbus_t *ctx = modbus_new_tcp("127.0.0.1", port);
    if (ctx == NULL || modbus_set_slave(ctx, kUnit) != 0 || modbus_connect(ctx) != 0) {
        fprintf(stderr, "cannot connect: %s\n", modbus_strerror(errno));
        exit(1);
    }
    modbus_set_response_timeout(ctx, 10, 0);
    return ctx;
}

static void read_once(modbus_t *ctx) {
    uint16_t value;
    if (modbus_read_registers(ctx, kAddress, 1, &value) != 1) {
        fprintf(stderr, "read failed: %s\n", modbus_strerror(errno));
        exit(1);
    }
}

struct run {
    int port;
    int reads;
    double *times; /* one per read, seconds */
};

static void *back_to_back(void *arg) {
    struct run *run = arg;
    modbus_t *ctx = connect_to(run->port);
    for (int i = 0; i < run->reads; ++i) {
        const double start = now_s();
        read_once(ctx);
        run->times[i] = now_s() - start;
    }
    modbus_close(ctx);
    modbus_free(ctx);
    return NULL;
}

static void connect_per_read(struct run *run) {
    for (int i = 0; i < run->reads; ++i) {
        const double start = now_s();
        modbus_t *ctx = connect_to(run->port);
        read_once(ctx);
        run->times[i] = now_s() - start;
        modbus_close(ctx);
        modbus_free(ctx);
    }
}

static int by_value(const void *a, const void *b) {
    const double x = *(const double *)a, y = *(const double *)b;
    return (x > y) - (x < y);
}

static void print_summary(double *times, int reads, double elapsed) {
    qsort(times, (size_t)reads, sizeof *times, by_value);
    printf("{\"reads\": %d, \"p50_ms\": %.4f, \"p99_ms\": %.4f, \"max_ms\": %.4f, \"reads_per_s\": %.1f}\n", reads,
           1e3 * times[reads / 2], 1e3 * times[(int)(reads * 0.99)], 1e3 * times[reads - 1], reads / elapsed);
}

int main(int argc, char **argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: %s PORT back-to-back N | parallel C N | connect-per-read N\n", argv[0]);
        return 2;
    }
    const int port = atoi(argv[1]);
    const char *mode = argv[2];
    const int connections = strcmp(mode, "parallel") == 0 ? atoi(argv[3]) : 1;
    const int reads = atoi(argv[strcmp(mode, "parallel") == 0 ? 4 : 3]);
    if (connections < 1 || reads < 1) return 2;
    double *times = calloc((size_t)connections * (size_t)reads, sizeof *times);
    struct run *runs = calloc((size_t)connections, sizeof *runs);
    pthread_t *threads = calloc((size_t)connections, sizeof *threads);
    for (int c = 0; c < connections; ++c) runs[c] = (struct run){port, reads, times + (size_t)c * (size_t)reads};
    const double start = now_s();
    if (strcmp(mode, "connect-per-read") == 0) {
        connect_per_read(&runs[0]);
    } else {
        for (int c = 0; c < connections; ++c) pthread_create(&threads[c], NULL, back_to_back, &runs[c]);
        for (int c = 0; c < connections; ++c) pthread_join(threads[c], NULL);
    }
    print_summary(times, connections * reads, now_s() - start);
    free(threads);
    free(runs);
    free(times);
    return 0;
}
