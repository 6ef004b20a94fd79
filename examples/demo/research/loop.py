"""A reason-and-act loop: the model picks a tool until it can answer."""
from loomwork import tools


def solve(question, llm, max_steps=6):
    history = [{"role": "user", "content": question}]
    for _ in range(max_steps):
        step = llm.invoke(history)
        if step.tool_name:
            observation = tools.invoke(step.tool_name, **step.arguments)
            history.append({"role": "tool", "content": observation})
        else:
            return step.answer
    return None
