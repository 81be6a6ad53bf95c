"""The benchmarks of brelim.parse_string, which print the tables of benchmarks/README.md.

    harness    timing, child processes, instruction counts
    tables     the targets, and the cells that judge a figure by them
    machine    the head of a run: machine, software, load
    documents  the generated documents (words: what they are made of)
    programs   the C++ programs of this folder, built with cmake
    options    the options every part reads
    parts      the registry: each part's table function, and the children
    cli        the command (run.py and __main__ start it)

and one module per part, named as --parts names it.
"""
