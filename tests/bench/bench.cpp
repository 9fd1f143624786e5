namespace bench_placeholder { int unused = 0; }
