# Resources of stub.exe besides stub.rc. The payload resource (type "B", id 102)
# is added here once the payload builder exists: STUB_PAYLOAD_RC names the
# generated resource script, empty for now.
set(STUB_PAYLOAD_RC "")
