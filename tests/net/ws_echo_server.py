# A WebSocket server from another implementation, for the client's tests: it echoes every
# message, and on request pings, sends a message in 1000-byte fragments, or closes.
import asyncio

import websockets


async def handler(ws, path=None):
    async for message in ws:
        if message == "ping-me":
            await (await ws.ping(b"hello"))
            await ws.send("pong-received")
        elif message == "fragment-me":
            text = "f" * 70000
            await ws.send([text[i:i + 1000] for i in range(0, len(text), 1000)])
        elif message == "close-me":
            await ws.close(code=1000, reason="bye")
            return
        else:
            await ws.send(message)


async def main():
    async with websockets.serve(handler, "127.0.0.1", 0, max_size=None) as server:
        print(server.sockets[0].getsockname()[1], flush=True)
        await asyncio.Future()


asyncio.run(main())
