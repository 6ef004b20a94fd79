"""A customer-support desk: a triage agent routes each ticket to a specialist."""
