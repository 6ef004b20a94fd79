"""Asks every source at once and merges what comes back."""
import asyncio

from research.tools import search_papers, search_web


async def gather_sources(query, agent):
    web, papers, opinion = await asyncio.gather(
        asyncio.to_thread(search_web, query),
        asyncio.to_thread(search_papers, query),
        agent.run(f"What do practitioners say about {query}?"),
    )
    return {"web": web, "papers": papers, "opinion": opinion.output}
