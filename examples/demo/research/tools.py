"""Search tools shared by the research crew and the agent loop."""
import httpx
from loomwork.tools import tool


@tool
def search_web(query: str) -> list:
    return httpx.get("https://search.example/api", params={"q": query}).json()["hits"]


@tool
def search_papers(query: str) -> list:
    return httpx.get("https://papers.example/api/search", params={"query": query}).json()
