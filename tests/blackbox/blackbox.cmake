# Black-box tests: the built app driven from outside under Xvfb.
