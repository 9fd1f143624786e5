namespace scope_placeholder { int unused = 0; }
