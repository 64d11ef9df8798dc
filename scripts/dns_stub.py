#!/usr/bin/env python3
"""Answers every DNS question on 127.0.0.1:53 with 'no such name' (NXDOMAIN)."""
import socket

sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sock.bind(("127.0.0.1", 53))
while True:
    data, peer = sock.recvfrom(512)
    if len(data) < 12:
        continue
    flags = 0x8183  # response, recursion desired and available, NXDOMAIN
    header = data[:2] + flags.to_bytes(2, "big") + data[4:6] + b"\0\0\0\0\0\0"
    sock.sendto(header + data[12:], peer)
