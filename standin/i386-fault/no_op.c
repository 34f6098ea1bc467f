/* The 64-bit twin of fault_report.so: Wine's 64-bit helpers (wineserver) inherit the
 * preload setting of the emulated processes that start them and find this one, which
 * does nothing, instead of warning that the 32-bit library has the wrong ELF class. */
int ryinet_fault_report_no_op;
