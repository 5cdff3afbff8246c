# System tests: the real GTK + WebKitGTK backend under Xvfb.
