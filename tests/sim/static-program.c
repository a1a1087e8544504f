/* A board program linked statically: mmb-sim must refuse to run it. */
int main(void)
{
    return 0;
}
