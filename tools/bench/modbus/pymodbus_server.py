#!/usr/bin/python3
"""The reference Modbus/TCP server for the read round-trip comparison: Debian's python3-pymodbus
answering the same reads as telvorn-headless (unit 123, coils 1000..1131, registers 1000..1388),
all values 0.

usage: pymodbus_server.py PORT
"""
import sys

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server import StartTcpServer


def main():
    port = int(sys.argv[1])
    block = lambda: ModbusSequentialDataBlock(0, [0] * 2000)
    slave = ModbusSlaveContext(di=block(), co=block(), hr=block(), ir=block(), zero_mode=True)
    StartTcpServer(context=ModbusServerContext(slaves={123: slave}, single=False), address=("127.0.0.1", port))


if __name__ == "__main__":
    main()
