// RyInet.Session from C# with dynamic: no interop assembly, any platform target (x64,
// AnyCPU on 64-bit Windows, x86). Build: csc DynamicSession.cs (with Microsoft.CSharp).
using System;
using System.Runtime.InteropServices;

static class DynamicSession
{
    static int Main(string[] args)
    {
        if (args.Length < 3) { Console.Error.WriteLine("usage: DynamicSession SERVER USER PASSWORD"); return 2; }
        dynamic session = Activator.CreateInstance(Type.GetTypeFromProgID("RyInet.Session", true));
        try
        {
            session.ShowBoxes = false;
            session.Connect(args[0], args[1], args[2], false);
            foreach (object[] record in (object[])session.List())
                Console.WriteLine("{0,-30} {1,10} {2}", record[0], (bool)record[1] ? "<DIR>" : record[3], record[2]);
            try { session.Delete("no-such-file.txt"); }
            catch (COMException e) { Console.WriteLine("Refused: " + e.Message); }
            session.Close();
        }
        finally { Marshal.ReleaseComObject(session); }
        return 0;
    }
}
