/* The floor: a Windows program that starts and exits, which no command can beat. */
int main(void) {
    return 0;
}
