/* The smallest Windows program: it only exits with status 32. The test and run scripts start
   the 32-bit build of it under Wine to learn whether this machine can run the 32-bit program
   (Debian's wine command exists without Wine's 32-bit loader; only a real start tells). The
   status 32 shows that the program itself ran, not a wrapper that failed. */
int main(void)
{
    return 32;
}
