#!/usr/bin/python3
"""A Modbus TCP rig for the driver's tests, served by pymodbus (not our code).

Holding 0-1: the set point (kg/h = the float x --setpoint-scale). The flow follows it
with a first-order lag. Input 0-1: the reference meter (the flow with a little noise and
--bias); input 2-3: the flow; both kg/h = the float x --reading-scale.
Holding 2-3: the fluid temperature set point (degC = the float x --temperature-setpoint-scale,
20 degC at the start); the fluid follows it with the same lag. Input --thermometer-at (4):
the reference thermometer, degC = the float x --thermometer-scale.
Registers 0..7 of each table exist; anything above answers exception 2.
Prints "listening PORT" once it accepts connections; ends when its standard
input closes, so a test that dies leaves no rig behind.
"""
import argparse
import asyncio
import math
import os
import random
import struct
import sys
import threading

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server.async_io import ModbusTcpServer

REGISTERS = 8
STEP_S = 0.05


def to_words(value, order):
    high, low = struct.unpack(">HH", struct.pack(">f", value))
    return [high, low] if order == "ABCD" else [low, high]


def from_words(words, order):
    high, low = words if order == "ABCD" else reversed(words)
    return struct.unpack(">f", struct.pack(">HH", high, low))[0]


async def serve(args):
    holding = ModbusSequentialDataBlock(0, [0] * REGISTERS)
    inputs = ModbusSequentialDataBlock(0, [0] * REGISTERS)
    # pymodbus adds 1 to every request address unless zero_mode is set; with it
    # a client's register 0 is the block's first value, as the driver means it.
    slave = ModbusSlaveContext(hr=holding, ir=inputs, zero_mode=True)
    context = ModbusServerContext(slaves={args.unit: slave}, single=False)
    server = ModbusTcpServer(context, address=("127.0.0.1", args.port), allow_reuse_address=True)
    serving = asyncio.create_task(server.serve_forever())
    await server.serving
    port = server.server.sockets[0].getsockname()[1]
    print(f"listening {port}", flush=True)

    rng = random.Random(args.seed)
    flow = 0.0
    fluid = 20.0
    holding.setValues(2, to_words(fluid / args.temperature_setpoint_scale, args.word_order))
    follow = 1.0 - math.exp(-STEP_S / args.tau)
    while not serving.done():
        setpoint = from_words(holding.getValues(0, 2), args.word_order) * args.setpoint_scale
        if math.isfinite(setpoint):
            flow += (setpoint - flow) * follow
        fluid_set = from_words(holding.getValues(2, 2), args.word_order) * args.temperature_setpoint_scale
        if math.isfinite(fluid_set):
            fluid += (fluid_set - fluid) * follow
        reference = flow * (1.0 + args.bias + rng.gauss(0.0, args.noise)) + rng.gauss(0.0, 0.05)
        inputs.setValues(0, to_words(reference / args.reading_scale, args.word_order)
                         + to_words(flow / args.reading_scale, args.word_order))
        inputs.setValues(args.thermometer_at, to_words(fluid / args.thermometer_scale, args.word_order))
        await asyncio.sleep(STEP_S)


def end_with_stdin():
    sys.stdin.buffer.read()
    os._exit(0)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--port", type=int, default=0, help="0: any free port")
    parser.add_argument("--unit", type=int, default=1)
    parser.add_argument("--word-order", choices=["ABCD", "CDAB"], default="ABCD")
    parser.add_argument("--tau", type=float, default=0.5, help="flow lag, s")
    parser.add_argument("--noise", type=float, default=0.002, help="reference noise, relative")
    parser.add_argument("--bias", type=float, default=0.0, help="reference reads this much high, relative")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--setpoint-scale", type=float, default=1.0, help="kg/h per unit of the set point's float")
    parser.add_argument("--reading-scale", type=float, default=1.0, help="kg/h per unit of the readings' floats")
    parser.add_argument("--temperature-setpoint-scale", type=float, default=1.0,
                        help="degC per unit of the temperature set point's float")
    parser.add_argument("--thermometer-scale", type=float, default=1.0, help="degC per unit of the thermometer's float")
    parser.add_argument("--thermometer-at", type=int, default=4, choices=[4, 6], help="its input register")
    args = parser.parse_args()
    threading.Thread(target=end_with_stdin, daemon=True).start()
    asyncio.run(serve(args))


if __name__ == "__main__":
    main()
