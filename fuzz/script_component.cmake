# Scripts compiled and run through the component, with includes, units and
# host routines.
kestrova_fuzzer(script_component_fuzz SOURCES script_component_fuzz.cpp DEPS script_component)
