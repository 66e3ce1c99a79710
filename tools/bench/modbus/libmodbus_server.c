/* The reference server of tools/bench/modbus-speed.sh: Debian's libmodbus answering from a register
 * map in memory, one thread, every connection served from one select() loop, as libmodbus's own
 * documentation suggests for a TCP server with several masters.
 *   libmodbus_server PORT
 * Serves any unit id; holding and input registers, coils and discrete inputs 0..1999. Runs until
 * it is killed. */
#include <errno.h>
#include <modbus.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

enum { kRegisters = 2000 };

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s PORT\n", argv[0]);
        return 2;
    }
    modbus_t *ctx = modbus_new_tcp("127.0.0.1", atoi(argv[1]));
    modbus_mapping_t *map = modbus_mapping_new(kRegisters, kRegisters, kRegisters, kRegisters);
    if (ctx == NULL || map == NULL) {
        fprintf(stderr, "cannot set up: %s\n", modbus_strerror(errno));
        return 1;
    }
    map->tab_registers[1000] = 123;
    const int listener = modbus_tcp_listen(ctx, 128);
    if (listener < 0) {
        fprintf(stderr, "cannot listen: %s\n", modbus_strerror(errno));
        return 1;
    }
    fd_set open;
    FD_ZERO(&open);
    FD_SET(listener, &open);
    int highest = listener;
    uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    for (;;) {
        fd_set ready = open;
        if (select(highest + 1, &ready, NULL, NULL, NULL) < 0) {
            if (errno == EINTR) continue;
            perror("select");
            return 1;
        }
        for (int fd = 0; fd <= highest; ++fd) {
            if (!FD_ISSET(fd, &ready)) continue;
            if (fd == listener) {
                const int client = accept(listener, NULL, NULL);
                if (client < 0) continue;
                const int on = 1;
                setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                if (client >= FD_SETSIZE) {
                    close(client);
                    continue;
                }
                FD_SET(client, &open);
                if (client > highest) highest = client;
                continue;
            }
            /* libmodbus reads and answers on the context's socket: point it at this connection. */
            modbus_set_socket(ctx, fd);
            const int length = modbus_receive(ctx, query);
            if (length > 0) {
                modbus_reply(ctx, query, length, map);
            } else if (length < 0) {
                close(fd);
                FD_CLR(fd, &open);
            }
        }
    }
}
