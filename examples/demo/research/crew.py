"""A two-worker Loomwork crew that writes a research brief."""
from loomwork import Crew, Task, Worker


def build_research_crew(topic):
    researcher = Worker(role="researcher", goal=f"Collect recent sources on {topic}")
    writer = Worker(role="writer", goal="Turn the sources into a one-page brief")
    return Crew(
        name="research",
        workers=[researcher, writer],
        tasks=[Task(description=f"Research {topic}"), Task(description="Write the brief")],
    )


def run_research(topic):
    crew = build_research_crew(topic)
    return crew.kickoff(inputs={"topic": topic})
