#!/bin/sh
echo "Coverage tools are not available offline: use the real remote_coverage_tools repository." >&2
exit 1
