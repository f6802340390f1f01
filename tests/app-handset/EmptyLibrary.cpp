// A library without the handset driver's entry.
extern "C" __attribute__((visibility("default"))) int quorvex_not_a_driver() {
    return 0;
}
