# Sourced by the tests here. long_options reads a --help text on stdin and
# prints each long option that its option column lists, one a line: the
# names before a value or a description, --no- forms included.
long_options() {
  sed -n 's/^  \(-[^ ]*\).*/\1/p' | grep -o -- '--[A-Za-z0-9][-A-Za-z0-9]*' | sort -u
}
