// Placeholder: pulsegen-wav (being written).
int main() { return 2; }
