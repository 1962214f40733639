# What Bazel 4's own C++ tools load from rules_cc: the built-in rules.
cc_binary = native.cc_binary
cc_import = native.cc_import
cc_library = native.cc_library
cc_test = native.cc_test
cc_toolchain = native.cc_toolchain
cc_toolchain_suite = native.cc_toolchain_suite
