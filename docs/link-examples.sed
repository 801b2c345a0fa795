# The README links example programs by their path, which works where the
# repository is browsed; in the reference each becomes a link to its example page.
s|](examples/\([^)]*\))|](@ref examples/\1)|g
