// reflect_binding ASSEMBLY LISTING NAMES UTF8LISTING: prints what the compiled binding
// declares, read back by reflection (the assembly's platform, its constants, every
// DllImport as the runtime sees it), then the records its managed readers make of the
// texts in the files LISTING and NAMES, and the UTF-16 code units Utf8Name makes of each
// name in UTF8LISTING. check_bindings.py compares all of it with the header and the .def.
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Reflection;
using System.Runtime.InteropServices;

static class ReflectBinding
{
    static int Main(string[] args)
    {
        Assembly binding = Assembly.LoadFrom(args[0]);
        PortableExecutableKinds kinds;
        ImageFileMachine machine;
        binding.ManifestModule.GetPEKind(out kinds, out machine);
        Console.WriteLine("platform {0} {1}", kinds.ToString().Replace(" ", ""), machine);
        foreach (Type type in binding.GetExportedTypes())
        {
            foreach (FieldInfo f in type.GetFields().Where(f => f.IsLiteral))
                Console.WriteLine("const {0} {1}", f.Name, f.GetRawConstantValue());
            foreach (MethodInfo m in type.GetMethods(BindingFlags.Public | BindingFlags.NonPublic | BindingFlags.Static))
            {
                var import = (DllImportAttribute)m.GetCustomAttributes(typeof(DllImportAttribute), false).FirstOrDefault();
                if (import == null) continue;
                Console.WriteLine("import {0} {1} {2} {3} {4} {5} {6} {7}", m.Name, import.EntryPoint, import.Value,
                                  import.CallingConvention, import.CharSet, import.ExactSpelling, m.ReturnType,
                                  string.Join(" ", m.GetParameters().Select(p => p.Name + ":" + p.ParameterType)));
            }
        }
        Type text = binding.GetType("RYINET.RyInetText", true);
        var read = new object[] { File.ReadAllBytes(args[1]), null };
        bool whole = (bool)text.GetMethod("TryReadListing").Invoke(null, read);
        string[] fields = { "Name", "IsDirectory", "Month", "Day", "Year", "Hour", "Minute", "Size" };
        foreach (object e in (System.Collections.IEnumerable)read[1])
            Console.WriteLine("record " + string.Join("|", fields.Select(f => e.GetType().GetProperty(f).GetValue(e, null))
                                                             .Select(v => v is bool ? ((bool)v ? "1" : "0") : v.ToString())));
        Console.WriteLine("whole {0}", whole ? 1 : 0);
        var names = (List<string>)text.GetMethod("PhonebookNames").Invoke(null, new object[] { File.ReadAllBytes(args[2]) });
        foreach (string name in names)
            Console.WriteLine("phonebook " + name);
        var utf8 = new object[] { File.ReadAllBytes(args[3]), null };
        text.GetMethod("TryReadListing").Invoke(null, utf8);
        foreach (object e in (System.Collections.IEnumerable)utf8[1])
        {
            var name = (string)text.GetMethod("Utf8Name").Invoke(null, new[] { e.GetType().GetProperty("NameBytes").GetValue(e, null) });
            Console.WriteLine("utf8 " + string.Join(" ", name.Select(c => ((int)c).ToString("X4"))));
        }
        return 0;
    }
}
