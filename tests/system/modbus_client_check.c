/* A Modbus/TCP master built on Debian's libmodbus, as a site integrator would write one, against a
 * telvorn-headless whose unit 123 reported AIN0 49.80, AIN1 12.30, DIN0..3 1011, DOUT0..2 011 and
 * MBUSREG0 3.25, and where unit 77 is not registered:
 *   modbus_client_check PORT classic|standard
 * Runs its table of checks on one connection, prints "ok NAME" or "FAIL NAME: why" for each, and
 * exits with the number of failures. Standard mode must answer every request as the Modbus
 * application protocol says; classic mode answers what it serves, acknowledges fn 0x10 with the
 * whole request, and gives a request it cannot serve no answer at all. */
#include <errno.h>
#include <math.h>
#include <modbus.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>

enum { kUnit = 123, kUnknownUnit = 77 };

static int standard;
static char why[200];

static int fail(const char *text) {
    snprintf(why, sizeof why, "%s (errno %d: %s)", text, errno, modbus_strerror(errno));
    return 1;
}

/* Reads `count` holding registers at `address` and compares them with `expected`. */
static int registers_are(modbus_t *ctx, int address, int count, const uint16_t *expected) {
    uint16_t words[8] = {0};
    if (modbus_read_registers(ctx, address, count, words) != count) return fail("read failed");
    for (int i = 0; i < count; ++i) {
        if (words[i] != expected[i]) {
            snprintf(why, sizeof why, "register %d is %u, not %u", address + i, words[i], expected[i]);
            return 1;
        }
    }
    return 0;
}

/* A request the server cannot serve: standard mode answers it with the exception `code`
 * (libmodbus's errno MODBUS_ENOBASE + code); classic mode with nothing, so that the read sent
 * after it on the connection gets the first reply. */
static int refused(modbus_t *ctx, const uint8_t *raw, int length, int code) {
    if (modbus_send_raw_request(ctx, raw, length) != length + 6) return fail("send failed");
    if (!standard) {
        const uint16_t ain0[] = {498};
        return registers_are(ctx, 1000, 1, ain0);
    }
    uint8_t reply[MODBUS_TCP_MAX_ADU_LENGTH];
    const int size = modbus_receive_confirmation(ctx, reply);
    if (size != 9 || reply[7] != (raw[1] | 0x80) || reply[8] != code) return fail("no exception response");
    return 0;
}

static int read_ain(modbus_t *ctx) {
    const uint16_t expected[] = {498, 123};
    return registers_are(ctx, 1000, 2, expected);
}

static int read_register_window(modbus_t *ctx) {
    const uint16_t expected[] = {32}; /* 3.25 x 10, the fraction cut off */
    return registers_are(ctx, 1200, 1, expected);
}

static int read_bits(modbus_t *ctx) {
    uint8_t din[4], dout[3];
    if (modbus_read_bits(ctx, 1000, 4, din) != 4 || modbus_read_bits(ctx, 1100, 3, dout) != 3) {
        return fail("read failed");
    }
    if (din[0] != 1 || din[1] != 0 || din[2] != 1 || din[3] != 1 || dout[0] || !dout[1] || !dout[2]) {
        return fail("wrong bits");
    }
    return 0;
}

/* Singles low word first, each word big-endian: libmodbus's CDAB order. */
static int read_floats(modbus_t *ctx) {
    uint16_t words[4];
    if (modbus_read_input_registers(ctx, 1000, 4, words) != 4) return fail("read failed");
    if (fabsf(modbus_get_float_cdab(words) - 49.8f) > 1e-4f || fabsf(modbus_get_float_cdab(words + 2) - 12.3f) > 1e-4f) {
        return fail("wrong floats");
    }
    return 0;
}

/* An odd quantity ends with the low word of the next single. */
static int read_odd_quantity(modbus_t *ctx) {
    uint16_t words[3];
    const float twelve = 12.3f;
    uint32_t bits;
    memcpy(&bits, &twelve, sizeof bits);
    if (modbus_read_input_registers(ctx, 1000, 3, words) != 3) return fail("read failed");
    if (fabsf(modbus_get_float_cdab(words) - 49.8f) > 1e-4f || words[2] != (bits & 0xFFFF)) {
        snprintf(why, sizeof why, "words %04x %04x %04x", words[0], words[1], words[2]);
        return 1;
    }
    return 0;
}

static int write_register(modbus_t *ctx) {
    const uint16_t seven[] = {7};
    if (modbus_write_register(ctx, 1002, 7) != 1) return fail("write failed");
    return registers_are(ctx, 1002, 1, seven);
}

/* Classic mode acknowledges with the whole request, which libmodbus does not expect: it is read
 * off the socket here, as the fleet's own RTUs read it. */
static int write_registers(modbus_t *ctx) {
    const uint16_t values[] = {5, 0xFFFF};
    const uint16_t tenths[] = {50, 0xFFF6};
    if (standard) {
        if (modbus_write_registers(ctx, 1200, 2, values) != 2) return fail("write failed");
        return registers_are(ctx, 1200, 2, tenths);
    }
    const uint8_t raw[] = {kUnit, 0x10, 0x04, 0xB0, 0, 2, 4, 0, 5, 0xFF, 0xFF};
    const int sent = modbus_send_raw_request(ctx, raw, sizeof raw);
    if (sent != (int)sizeof raw + 6) return fail("send failed");
    uint8_t echo[64];
    int got = 0;
    struct pollfd readable = {modbus_get_socket(ctx), POLLIN, 0};
    while (got < sent) {
        if (poll(&readable, 1, 10000) != 1) return fail("echo cut short");
        const ssize_t part = recv(readable.fd, echo + got, (size_t)(sent - got), 0);
        if (part <= 0) return fail("echo cut short");
        got += (int)part;
    }
    if (memcmp(echo + 6, raw, sizeof raw) != 0) return fail("echo is not the request");
    return registers_are(ctx, 1200, 2, tenths);
}

static int function_not_served(modbus_t *ctx) {
    const uint8_t raw[] = {kUnit, 0x02, 0x03, 0xE8, 0, 1};
    return refused(ctx, raw, sizeof raw, MODBUS_EXCEPTION_ILLEGAL_FUNCTION);
}

static int address_outside_windows(modbus_t *ctx) {
    const uint8_t raw[] = {kUnit, 0x03, 0x03, 0xF0, 0, 1};
    return refused(ctx, raw, sizeof raw, MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS);
}

static int past_window_limit(modbus_t *ctx) {
    const uint8_t raw[] = {kUnit, 0x03, 0x03, 0xE8, 0, 33};
    return refused(ctx, raw, sizeof raw, MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE);
}

static int more_than_one_adu(modbus_t *ctx) {
    const uint8_t raw[] = {kUnit, 0x03, 0x04, 0xB0, 0, 126};
    return refused(ctx, raw, sizeof raw, MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE);
}

static int unit_zero(modbus_t *ctx) {
    const uint8_t raw[] = {0, 0x03, 0x03, 0xE8, 0, 1};
    return refused(ctx, raw, sizeof raw, MODBUS_EXCEPTION_GATEWAY_TARGET);
}

static int unknown_unit(modbus_t *ctx) {
    const uint8_t raw[] = {kUnknownUnit, 0x03, 0x03, 0xE8, 0, 1};
    return refused(ctx, raw, sizeof raw, MODBUS_EXCEPTION_GATEWAY_TARGET);
}

/* The exceptions as libmodbus's own calls report them. */
static int errors_from_libmodbus(modbus_t *ctx) {
    uint16_t words[1];
    uint8_t bits[1];
    if (modbus_read_input_bits(ctx, 1000, 1, bits) != -1 || errno != EMBXILFUN) return fail("fn 0x02");
    if (modbus_read_registers(ctx, 1008, 1, words) != -1 || errno != EMBXILADD) return fail("address 1008");
    if (modbus_read_registers(ctx, 1000, 0, words) != -1 || errno != EMBXILVAL) return fail("quantity 0");
    if (modbus_write_register(ctx, 1008, 1) != -1 || errno != EMBXILADD) return fail("write to 1008");
    const uint16_t values[] = {1, 2};
    if (modbus_write_registers(ctx, 1103, 2, values) != -1 || errno != EMBXILADD) return fail("write to 1104");
    modbus_set_slave(ctx, kUnknownUnit);
    const int rc = modbus_read_registers(ctx, 1000, 1, words);
    const int error = errno;
    modbus_set_slave(ctx, kUnit);
    errno = error;
    if (rc != -1 || errno != EMBXGTAR) return fail("unit 77");
    return 0;
}

static int byte_count_disagrees(modbus_t *ctx) {
    const uint8_t raw[] = {kUnit, 0x10, 0x03, 0xE8, 0, 2, 2, 0, 1};
    return refused(ctx, raw, sizeof raw, MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE);
}

struct check {
    const char *name;
    int (*run)(modbus_t *ctx);
    int standardOnly;
};

static const struct check kChecks[] = {
    {"fn 0x03 of the AIN window, 49.80 reads 498", read_ain, 0},
    {"fn 0x03 of the register window", read_register_window, 0},
    {"fn 0x01 of the DIN and DOUT windows", read_bits, 0},
    {"fn 0x04 singles", read_floats, 0},
    {"fn 0x04 with an odd quantity", read_odd_quantity, 0},
    {"fn 0x06, then a read", write_register, 0},
    {"fn 0x10, then a read", write_registers, 0},
    {"a function not served", function_not_served, 0},
    {"an address outside the windows", address_outside_windows, 0},
    {"a quantity past the window's limit", past_window_limit, 0},
    {"a quantity past one ADU", more_than_one_adu, 0},
    {"unit 0", unit_zero, 0},
    {"an unregistered unit", unknown_unit, 0},
    {"a byte count that disagrees", byte_count_disagrees, 1},
    {"libmodbus's error codes", errors_from_libmodbus, 1},
};

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s PORT classic|standard\n", argv[0]);
        return 100;
    }
    standard = strcmp(argv[2], "standard") == 0;
    modbus_t *ctx = modbus_new_tcp("127.0.0.1", atoi(argv[1]));
    if (ctx == NULL || modbus_set_slave(ctx, kUnit) != 0 || modbus_connect(ctx) != 0) {
        fprintf(stderr, "cannot connect: %s\n", modbus_strerror(errno));
        return 100;
    }
    modbus_set_response_timeout(ctx, 10, 0);
    int failures = 0;
    for (size_t i = 0; i < sizeof kChecks / sizeof kChecks[0]; ++i) {
        if (kChecks[i].standardOnly && !standard) continue;
        why[0] = '\0';
        const int failed = kChecks[i].run(ctx);
        printf(failed ? "FAIL %s: %s\n" : "ok %s\n", kChecks[i].name, why);
        failures += failed;
    }
    modbus_close(ctx);
    modbus_free(ctx);
    return failures;
}
