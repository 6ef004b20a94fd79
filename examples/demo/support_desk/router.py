"""Routes a ticket by the intent the triage agent reads from it."""
import logging

from tessera.models import OpenAIModel

from support_desk.agents import billing_agent, triage_agent

log = logging.getLogger(__name__)


def make_summariser():
    """A small model for outage summaries; the router builds one per ticket."""
    return OpenAIModel(model="gpt-4o", temperature=0.2)


async def handle_ticket(ticket):
    triage = await triage_agent.run(ticket.text)
    intent = triage.output.intent
    if intent == "billing":
        reply = await billing_agent.run(ticket.text, deps=ticket.customer)
    elif intent == "outage":
        summariser = make_summariser()
        summary = summariser.summarise(ticket.text)
        reply = status_reply(summary)
    else:
        log.info("escalating ticket %s", ticket.id)
        reply = escalate(ticket)
    return reply


def status_reply(summary):
    return f"We are aware of the problem and working on it: {summary}"


def escalate(ticket):
    ticket.assign("tier-2")
    return "A specialist will get back to you shortly."
