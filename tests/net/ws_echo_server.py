# A WebSocket server from another implementation, for the client's tests: it echoes every
# message, and on request pings, sends a message in 1000-byte fragments, sends a frame with a
# reserved bit set, or closes. When a connection ends it prints the close frame it received
# from the client ("close-received CODE REASON", or "close-received none").
import asyncio

import websockets


async def handler(ws, path=None):
    try:
        async for message in ws:
            if message == "ping-me":
                await (await ws.ping(b"hello"))
                await ws.send("pong-received")
            elif message == "fragment-me":
                text = "f" * 70000
                await ws.send([text[i:i + 1000] for i in range(0, len(text), 1000)])
            elif message == "bad-frame-me":
                ws.transport.write(b"\xc1\x00")
            elif message == "close-me":
                await ws.close(code=1000, reason="bye")
                break
            else:
                await ws.send(message)
    except websockets.ConnectionClosed:
        pass
    finally:
        await ws.wait_closed()
        got = ws.close_rcvd
        print("close-received " + (f"{got.code} {got.reason}".strip() if got else "none"),
              flush=True)


async def main():
    async with websockets.serve(handler, "127.0.0.1", 0, max_size=None) as server:
        print(server.sockets[0].getsockname()[1], flush=True)
        await asyncio.Future()


asyncio.run(main())
