"""The desk's agents and tools, built on Tessera."""
import httpx
from tessera import Agent, tool
from tessera.models import OpenAIModel

BILLING_API = "https://billing.internal.example/v2"

model = OpenAIModel(model="gpt-4o-mini", temperature=0)

triage_agent = Agent(
    name="triage",
    model=model,
    instructions="Classify the ticket's intent as billing, outage or other.",
)

billing_agent = Agent(
    name="billing",
    model=model,
    instructions="Answer billing questions. Use the invoice tools; never guess amounts.",
)


@tool
def lookup_invoice(customer_id: str, month: str) -> dict:
    """Fetch one invoice from the billing service."""
    response = httpx.get(f"{BILLING_API}/customers/{customer_id}/invoices/{month}", timeout=10)
    response.raise_for_status()
    return response.json()


@tool
def refund(invoice_id: str, amount_cents: int) -> str:
    """Issue a refund and return its reference."""
    response = httpx.post(f"{BILLING_API}/refunds", json={"invoice": invoice_id, "amount": amount_cents})
    return response.json()["reference"]
