// The program that carries ClientNoTable.rc; it does nothing when run.
int main()
{
    return 0;
}
