# The data-access benchmark is a plain timing harness over the data layer and the engine only.
set_property(TARGET bench_data PROPERTY LINK_LIBRARIES dbv_data)
