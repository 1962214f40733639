# What Bazel 4's own Java tools load from rules_java: the built-in rules.
java_binary = native.java_binary
java_import = native.java_import
java_library = native.java_library
java_runtime = native.java_runtime
java_toolchain = native.java_toolchain
