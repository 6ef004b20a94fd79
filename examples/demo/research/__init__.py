"""Background research for answers: a Loomwork crew, parallel source search, a tool loop."""
