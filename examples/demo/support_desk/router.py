"""Routes a ticket by the intent the triage agent reads from it."""
import logging

from support_desk.agents import billing_agent, make_summariser, triage_agent

log = logging.getLogger(__name__)


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
